<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AboutBox</name>
    <message>
        <source>Quill carries short pop-up messages from person to person inside a closed circle of machines: your office, your lab, your home network. Messages go straight from one computer to the other, with no outside service in between and nothing stored on the way.</source>
        <translation>Quill bringt kurze Pop-up-Nachrichten von Mensch zu Mensch innerhalb eines geschlossenen Kreises von Rechnern: Ihr Büro, Ihr Labor, Ihr Heimnetz. Nachrichten gehen direkt von einem Computer zum anderen, ohne fremden Dienst dazwischen und ohne unterwegs gespeichert zu werden.</translation>
    </message>
    <message>
        <source>Design and programming: the Quill developers
Icons: drawn for Quill
Built with Qt</source>
        <translation>Entwurf und Programmierung: die Quill-Entwickler
Symbole: für Quill gezeichnet
Erstellt mit Qt</translation>
    </message>
    <message>
        <source>Credits</source>
        <translation>Mitwirkende</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>E-mail</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Website</source>
        <translation>Website</translation>
    </message>
    <message>
        <source>Opens %1</source>
        <translation>Öffnet %1</translation>
    </message>
</context>
<context>
    <name>AddressProbe</name>
    <message>
        <source>%1 port %2</source>
        <translation>%1 Port %2</translation>
    </message>
    <message>
        <source>%1 is reachable: a program listens there.</source>
        <translation>%1 ist erreichbar: Dort lauscht ein Programm.</translation>
    </message>
    <message>
        <source>%1 refused the connection: nothing listens there.</source>
        <translation>%1 hat die Verbindung abgelehnt: Dort lauscht nichts.</translation>
    </message>
    <message>
        <source>%1 did not answer within %2 s: the computer may be off or out of reach, or a firewall drops the connection.</source>
        <translation>%1 hat nicht innerhalb von %2 s geantwortet: Der Computer ist vielleicht aus oder nicht erreichbar, oder eine Firewall verwirft die Verbindung.</translation>
    </message>
    <message>
        <source>%1 could not be reached: %2</source>
        <translation>%1 ist nicht erreichbar: %2</translation>
    </message>
    <message>
        <source>
On Linux, Quillbox can listen on port %1 only with the cap_net_bind_service capability (see &quot;Port 505 on Linux&quot; in the README).</source>
        <translation>
Unter Linux kann Quillbox auf Port %1 nur mit der Fähigkeit cap_net_bind_service lauschen (siehe „Port 505 on Linux“ in der README).</translation>
    </message>
</context>
<context>
    <name>AvahiComputerSource</name>
    <message>
        <source>The network browsing service (avahi-daemon) is not running, so no computers are listed. Type a computer name or address instead.</source>
        <translation>Der Dienst zum Durchsuchen des Netzwerks (avahi-daemon) läuft nicht, daher werden keine Computer aufgelistet. Geben Sie stattdessen einen Computernamen oder eine Adresse ein.</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Try &apos;%1 --help&apos;.</source>
        <translation>Mehr dazu mit &apos;%1 --help&apos;.</translation>
    </message>
    <message>
        <source>Receives pop-up messages on the local network.</source>
        <translation>Empfängt Pop-up-Nachrichten im lokalen Netzwerk.</translation>
    </message>
    <message>
        <source>Start with the main window hidden.</source>
        <translation>Mit verborgenem Hauptfenster starten.</translation>
    </message>
    <message>
        <source>Show this help and end.</source>
        <translation>Diese Hilfe anzeigen und beenden.</translation>
    </message>
    <message>
        <source>Show the version and end.</source>
        <translation>Die Version anzeigen und beenden.</translation>
    </message>
    <message>
        <source>The sender name shown to the recipients (default: your identification).</source>
        <translation>Der Absendername, den die Empfänger sehen (Standard: Ihre Identifikation).</translation>
    </message>
    <message>
        <source>The port on which your Quillbox takes replies (default: your identification).</source>
        <translation>Der Port, auf dem Ihre Quillbox Antworten annimmt (Standard: Ihre Identifikation).</translation>
    </message>
    <message>
        <source>The text to send (default: standard input).</source>
        <translation>Der zu sendende Text (Standard: Standardeingabe).</translation>
    </message>
    <message>
        <source>unexpected argument &quot;%1&quot;</source>
        <translation>unerwartetes Argument „%1“</translation>
    </message>
    <message>
        <source>no recipient: give at least one --to</source>
        <translation>kein Empfänger: Geben Sie mindestens ein --to an</translation>
    </message>
    <message>
        <source>--%1 may be given only once</source>
        <translation>--%1 darf nur einmal angegeben werden</translation>
    </message>
    <message>
        <source>--from: the name must be 1 to %1 characters long</source>
        <translation>--from: Der Name muss 1 bis %1 Zeichen lang sein</translation>
    </message>
    <message>
        <source>--reply-port: not a port number (0 to 65535 in decimal digits)</source>
        <translation>--reply-port: keine Portnummer (0 bis 65535 in Dezimalziffern)</translation>
    </message>
    <message>
        <source>no recipient: the groups given have no members</source>
        <translation>kein Empfänger: Die angegebenen Gruppen haben keine Mitglieder</translation>
    </message>
    <message>
        <source>the message is too long to send (at most %1 bytes)</source>
        <translation>die Nachricht ist zu lang zum Senden (höchstens %1 Bytes)</translation>
    </message>
    <message>
        <source>Sends a pop-up message to people on the local network. Without options it opens its window.
Exit status: 0 when every recipient confirmed the message, 1 when any did not, 2 for a usage error.</source>
        <translation>Sendet eine Pop-up-Nachricht an Personen im lokalen Netzwerk. Ohne Optionen öffnet es sein Fenster.
Exit-Status: 0, wenn jeder Empfänger die Nachricht bestätigt hat, 1, wenn einer es nicht tat, 2 bei einem Aufruffehler.</translation>
    </message>
    <message>
        <source>Send to a user or a group of the user list, a person online by name, or an address: IPV4[:PORT], [IPV6][:PORT] or HOST:PORT (the default port when none is given). May be given several times.</source>
        <translation>An einen Benutzer oder eine Gruppe der Benutzerliste, an eine Person online über ihren Namen oder an eine Adresse senden: IPV4[:PORT], [IPV6][:PORT] oder HOST:PORT (ohne Angabe der Standardport). Kann mehrfach angegeben werden.</translation>
    </message>
    <message>
        <source>Print the people online (name, address, port, id), one a line.</source>
        <translation>Die Personen online ausgeben (Name, Adresse, Port, Kennung), eine pro Zeile.</translation>
    </message>
    <message>
        <source>How long to look for people online (--list, or --to with a name not in the user list), in seconds (default 2).</source>
        <translation>Wie lange nach Personen online gesucht wird (--list oder --to mit einem Namen, der nicht in der Benutzerliste steht), in Sekunden (Standard 2).</translation>
    </message>
    <message>
        <source>--wait: 0 to %1 seconds in decimal digits</source>
        <translation>--wait: 0 bis %1 Sekunden in Dezimalziffern</translation>
    </message>
    <message>
        <source>unknown recipient &quot;%1&quot;: not a user or group of the list, nor a person online, nor IPV4[:PORT], [IPV6][:PORT] or HOST:PORT (PORT 1 to 65535 in decimal digits)</source>
        <translation>unbekannter Empfänger „%1“: weder Benutzer noch Gruppe der Liste, keine Person online, auch nicht IPV4[:PORT], [IPV6][:PORT] oder HOST:PORT (PORT 1 bis 65535 in Dezimalziffern)</translation>
    </message>
    <message>
        <source>unknown recipient &quot;%1&quot;: several people online have that name; give their address</source>
        <translation>unbekannter Empfänger „%1“: Mehrere Personen online tragen diesen Namen; geben Sie die Adresse an</translation>
    </message>
    <message>
        <source>Send only encrypted: a recipient without a key gets nothing and counts as failed (exit status 1).</source>
        <translation>Nur verschlüsselt senden: Wer keinen Schlüssel hat, bekommt nichts und zählt als fehlgeschlagen (Status 1).</translation>
    </message>
</context>
<context>
    <name>ComputerPicker</name>
    <message>
        <source>Select a network computer.</source>
        <translation>Einen Computer im Netzwerk auswählen.</translation>
    </message>
    <message>
        <source>Looking for computers...</source>
        <translation>Suche nach Computern...</translation>
    </message>
    <message>
        <source>No computer has answered. Type a computer name or address.</source>
        <translation>Kein Computer hat geantwortet. Geben Sie einen Computernamen oder eine Adresse ein.</translation>
    </message>
    <message>
        <source>No way to look for computers here; type a computer name.</source>
        <translation>Hier lässt sich nicht nach Computern suchen; geben Sie einen Computernamen ein.</translation>
    </message>
    <message>
        <source>Computers on the network:</source>
        <translation>Computer im Netzwerk:</translation>
    </message>
    <message>
        <source>Computer &amp;name:</source>
        <translation>Computer&amp;name:</translation>
    </message>
    <message numerus="yes">
        <source>%n computer(s) found.</source>
        <translation>
            <numerusform>%n Computer gefunden.</numerusform>
            <numerusform>%n Computer gefunden.</numerusform>
        </translation>
    </message>
    <message>
        <source>Looking up %1...</source>
        <translation>Suche %1...</translation>
    </message>
</context>
<context>
    <name>DesktopNotifier</name>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Antworten</translation>
    </message>
</context>
<context>
    <name>HistoryModel</name>
    <message>
        <source>Received</source>
        <translation>Empfangen</translation>
    </message>
    <message>
        <source>From</source>
        <translation>Von</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Nachricht</translation>
    </message>
    <message>
        <source>Security</source>
        <translation>Sicherheit</translation>
    </message>
</context>
<context>
    <name>HistoryStore</name>
    <message>
        <source>The folder %1 cannot be made owner-only.</source>
        <translation>Der Ordner %1 kann nicht auf den Eigentümer beschränkt werden.</translation>
    </message>
    <message>
        <source>The file %1 cannot be opened for writing.</source>
        <translation>Die Datei %1 kann nicht zum Schreiben geöffnet werden.</translation>
    </message>
    <message>
        <source>The history cannot use a write-ahead log.</source>
        <translation>Der Verlauf kann kein Write-Ahead-Log verwenden.</translation>
    </message>
    <message>
        <source>The history was written by a later Quillbox.</source>
        <translation>Der Verlauf wurde von einer neueren Quillbox geschrieben.</translation>
    </message>
    <message>
        <source>The file %1 cannot be made owner-only.</source>
        <translation>Die Datei %1 kann nicht auf den Eigentümer beschränkt werden.</translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>The history cannot be opened: </source>
        <translation>Der Verlauf kann nicht geöffnet werden: </translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Nachricht</translation>
    </message>
    <message>
        <source>Messages</source>
        <translation>Nachrichten</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Antworten</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
</context>
<context>
    <name>IdentificationDialog</name>
    <message>
        <source>Identification</source>
        <translation>Identifikation</translation>
    </message>
    <message>
        <source>User identification</source>
        <translation>Benutzeridentifikation</translation>
    </message>
    <message>
        <source>User name:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>User reply port:</source>
        <translation>Antwortport des Benutzers:</translation>
    </message>
    <message>
        <source>Verification code:</source>
        <translation>Prüfcode:</translation>
    </message>
    <message>
        <source>(no key)</source>
        <translation>(kein Schlüssel)</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Invalid port number</source>
        <translation>Ungültige Portnummer</translation>
    </message>
</context>
<context>
    <name>Identity</name>
    <message>
        <source>Your key file %1 is gone.</source>
        <translation>Ihre Schlüsseldatei %1 ist verschwunden.</translation>
    </message>
    <message>
        <source>Your key file %1 cannot be read: %2.</source>
        <translation>Ihre Schlüsseldatei %1 kann nicht gelesen werden: %2.</translation>
    </message>
    <message>
        <source>

Make a new key? People who pinned your old key (code %1) will be told that it changed.</source>
        <translation>

Einen neuen Schlüssel erzeugen? Wer sich Ihren alten Schlüssel (Code %1) gemerkt hat, erfährt, dass er sich geändert hat.</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
</context>
<context>
    <name>Listener</name>
    <message>
        <source>

Port %1 is below %2, and only programs granted the right to do so may listen there. Grant it once with:
sudo setcap cap_net_bind_service=+ep &quot;%3&quot;
or choose a port of %2 or above in Option, Program Option.</source>
        <translation>

Port %1 liegt unter %2, und nur Programme mit dem entsprechenden Recht dürfen dort lauschen. Erteilen Sie es einmalig mit:
sudo setcap cap_net_bind_service=+ep &quot;%3&quot;
oder wählen Sie unter Optionen, Programmoptionen einen Port ab %2.</translation>
    </message>
    <message>
        <source>Invalid port number %1</source>
        <translation>Ungültige Portnummer %1</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>The settings could not be saved to %1.
Check that the disk has room and that the folder may be written to.</source>
        <translation>Die Einstellungen konnten nicht in %1 gespeichert werden.
Prüfen Sie, ob auf dem Datenträger Platz ist und der Ordner beschrieben werden darf.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Message Waiting</source>
        <translation>Nachricht wartet</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Antwort</translation>
    </message>
    <message>
        <source>Message Send!!</source>
        <translation>Nachricht gesendet!!</translation>
    </message>
</context>
<context>
    <name>MessageFanout</name>
    <message>
        <source>not in the user list</source>
        <translation>nicht in der Benutzerliste</translation>
    </message>
    <message>
        <source>delivered: %1</source>
        <translation>zugestellt: %1</translation>
    </message>
    <message>
        <source>not confirmed: %1: %2</source>
        <translation>nicht bestätigt: %1: %2</translation>
    </message>
    <message>
        <source>failed: %1: %2</source>
        <translation>fehlgeschlagen: %1: %2</translation>
    </message>
    <message>
        <source>not confirmed: </source>
        <translation>nicht bestätigt: </translation>
    </message>
    <message>
        <source>Delivered to %1 of %2 recipients.</source>
        <translation>An %1 von %2 Empfängern zugestellt.</translation>
    </message>
    <message>
        <source>
Delivered: </source>
        <translation>
Zugestellt: </translation>
    </message>
    <message>
        <source>
Not delivered: </source>
        <translation>
Nicht zugestellt: </translation>
    </message>
    <message>
        <source>delivered (encrypted, verified): %1</source>
        <translation>zugestellt (verschlüsselt, bestätigt): %1</translation>
    </message>
    <message>
        <source>delivered (encrypted): %1</source>
        <translation>zugestellt (verschlüsselt): %1</translation>
    </message>
</context>
<context>
    <name>MessageField</name>
    <message>
        <source>Message</source>
        <translation>Nachricht</translation>
    </message>
</context>
<context>
    <name>MessageSender</name>
    <message>
        <source>No recipient is selected</source>
        <translation>Kein Empfänger ausgewählt</translation>
    </message>
    <message>
        <source>The port %1 is not a valid port (1 to 65535)</source>
        <translation>Der Port %1 ist kein gültiger Port (1 bis 65535)</translation>
    </message>
    <message>
        <source>The message is too long to send (at most %1 bytes)</source>
        <translation>Die Nachricht ist zu lang zum Senden (höchstens %1 Bytes)</translation>
    </message>
    <message>
        <source>no answer from the recipient within %1 s</source>
        <translation>keine Antwort vom Empfänger innerhalb von %1 s</translation>
    </message>
    <message>
        <source>no connection within %1 s</source>
        <translation>keine Verbindung innerhalb von %1 s</translation>
    </message>
    <message>
        <source>The address &quot;%1&quot; is not a valid IPv4 or IPv6 address or host name</source>
        <translation>Die Adresse „%1“ ist keine gültige IPv4- oder IPv6-Adresse und kein Hostname</translation>
    </message>
    <message>
        <source>not sent: the recipient has no key, and only encrypted sending is allowed</source>
        <translation>nicht gesendet: Der Empfänger hat keinen Schlüssel, und es darf nur verschlüsselt gesendet werden</translation>
    </message>
    <message>
        <source>not sent: your own key cannot be read (see Identification)</source>
        <translation>nicht gesendet: Ihr eigener Schlüssel kann nicht gelesen werden (siehe Identifikation)</translation>
    </message>
    <message>
        <source>not sent: the recipient showed another key (code %1) than the one expected (code %2)</source>
        <translation>nicht gesendet: Der Empfänger zeigte einen anderen Schlüssel (Code %1) als den erwarteten (Code %2)</translation>
    </message>
    <message>
        <source>no encrypted connection within %1 s: the recipient did not finish the handshake</source>
        <translation>keine verschlüsselte Verbindung innerhalb von %1 s: Der Empfänger hat den Verbindungsaufbau nicht abgeschlossen</translation>
    </message>
</context>
<context>
    <name>MessageWindow</name>
    <message>
        <source>Messages</source>
        <translation>Nachrichten</translation>
    </message>
    <message>
        <source>Read next -&gt;</source>
        <translation>Nächste lesen -&gt;</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Antworten</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Message </source>
        <translation>Nachricht </translation>
    </message>
    <message>
        <source>%1 more from this sender could not be shown here; they are in the History.</source>
        <translation>%1 weitere von diesem Absender konnten hier nicht angezeigt werden; sie stehen im Verlauf.</translation>
    </message>
    <message>
        <source>%1 more from this sender could not be shown.</source>
        <translation>%1 weitere von diesem Absender konnten nicht angezeigt werden.</translation>
    </message>
</context>
<context>
    <name>PortStatus</name>
    <message>
        <source>Not listening on port %1: %2</source>
        <translation>Kein Empfang auf Port %1: %2</translation>
    </message>
    <message>
        <source> (ports below 1024 need a right granted once: see &quot;Port 505 on Linux&quot; in the README)</source>
        <translation> (Ports unter 1024 brauchen ein einmal erteiltes Recht: siehe „Port 505 on Linux“ in der README)</translation>
    </message>
    <message>
        <source>Not listening on %1 more ports</source>
        <translation>Kein Empfang auf %1 weiteren Ports</translation>
    </message>
    <message>
        <source>Listening on ports %1</source>
        <translation>Empfang auf den Ports %1</translation>
    </message>
    <message>
        <source>Listening on port %1</source>
        <translation>Empfang auf Port %1</translation>
    </message>
    <message>
        <source>Listening on no port</source>
        <translation>Empfang auf keinem Port</translation>
    </message>
    <message>
        <source>Ports</source>
        <translation>Ports</translation>
    </message>
    <message>
        <source>Winsock Error: </source>
        <translation>Netzwerkfehler: </translation>
    </message>
</context>
<context>
    <name>ReceiverOptionsDialog</name>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Miscellaneous</source>
        <translation>Verschiedenes</translation>
    </message>
    <message>
        <source>Play sound on incoming message</source>
        <translation>Bei eingehender Nachricht einen Ton abspielen</translation>
    </message>
    <message>
        <source>Show incoming messages in:</source>
        <translation>Eingehende Nachrichten anzeigen in:</translation>
    </message>
    <message>
        <source>A window</source>
        <translation>Einem Fenster</translation>
    </message>
    <message>
        <source>A desktop notification</source>
        <translation>Einer Desktop-Benachrichtigung</translation>
    </message>
    <message>
        <source>A window and a desktop notification</source>
        <translation>Einem Fenster und einer Desktop-Benachrichtigung</translation>
    </message>
    <message>
        <source>Network option</source>
        <translation>Netzwerkoption</translation>
    </message>
    <message>
        <source>Port to estabish connection:</source>
        <translation>Port für den Verbindungsaufbau:</translation>
    </message>
    <message>
        <source>New port</source>
        <translation>Neuer Port</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Remove All</source>
        <translation>Alle entfernen</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Keep a history of received messages</source>
        <translation>Einen Verlauf der empfangenen Nachrichten führen</translation>
    </message>
    <message>
        <source> MB</source>
        <translation> MB</translation>
    </message>
    <message>
        <source>Clear History</source>
        <translation>Verlauf leeren</translation>
    </message>
    <message>
        <source>Messages kept at most:</source>
        <translation>Höchstens aufbewahrte Nachrichten:</translation>
    </message>
    <message>
        <source>Space kept at most:</source>
        <translation>Höchstens belegter Platz:</translation>
    </message>
    <message>
        <source>Invalid port number</source>
        <translation>Ungültige Portnummer</translation>
    </message>
    <message>
        <source>Must add at leat 1 port number</source>
        <translation>Mindestens eine Portnummer muss hinzugefügt werden</translation>
    </message>
    <message>
        <source>Remove every message from the history?</source>
        <translation>Alle Nachrichten aus dem Verlauf entfernen?</translation>
    </message>
    <message>
        <source>Announce me on the local network</source>
        <translation>Mich im lokalen Netzwerk bekannt machen</translation>
    </message>
</context>
<context>
    <name>ReceiverWindow</name>
    <message>
        <source>Message Receiver</source>
        <translation>Nachrichtenempfänger</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;History...</source>
        <translation>&amp;Verlauf...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Option</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>&amp;Program Option...</source>
        <translation>&amp;Programmoptionen...</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>Ü&amp;ber...</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Verbergen</translation>
    </message>
    <message>
        <source>The message history could not keep %1 messages: </source>
        <translation>Der Nachrichtenverlauf konnte %1 Nachrichten nicht aufbewahren: </translation>
    </message>
    <message>
        <source>Message Waiting, return to main menu to receive</source>
        <translation>Nachricht wartet, zum Empfangen ins Hauptmenü zurückkehren</translation>
    </message>
    <message>
        <source>The message history cannot be kept: </source>
        <translation>Der Nachrichtenverlauf kann nicht geführt werden: </translation>
    </message>
</context>
<context>
    <name>RecipientBox</name>
    <message>
        <source>Recipient</source>
        <translation>Empfänger</translation>
    </message>
</context>
<context>
    <name>RecipientsDialog</name>
    <message>
        <source>Send to Several</source>
        <translation>An mehrere senden</translation>
    </message>
    <message>
        <source>Recipients</source>
        <translation>Empfänger</translation>
    </message>
    <message>
        <source>&amp;Send</source>
        <translation>&amp;Senden</translation>
    </message>
    <message>
        <source>Save as &amp;Group...</source>
        <translation>Als &amp;Gruppe speichern...</translation>
    </message>
    <message>
        <source>&amp;Delete Group</source>
        <translation>Gruppe &amp;löschen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Group: %1 (%2)</source>
        <translation>Gruppe: %1 (%2)</translation>
    </message>
    <message>
        <source>Save as Group</source>
        <translation>Als Gruppe speichern</translation>
    </message>
    <message>
        <source>Group name</source>
        <translation>Gruppenname</translation>
    </message>
</context>
<context>
    <name>ReplyToSender</name>
    <message>
        <source>The sending program did not take the reply, so no message could be replied</source>
        <translation>Das Sendeprogramm hat die Antwort nicht angenommen, daher konnte nicht geantwortet werden</translation>
    </message>
    <message>
        <source>No sender open, so no message could be replied</source>
        <translation>Kein Sendeprogramm geöffnet, daher konnte nicht geantwortet werden</translation>
    </message>
    <message>
        <source>The sender&apos;s name and address are too long to be handed to the sending program, so no message could be replied</source>
        <translation>Name und Adresse des Absenders sind zu lang, um sie an das Sendeprogramm zu übergeben, daher konnte nicht geantwortet werden</translation>
    </message>
</context>
<context>
    <name>SendController</name>
    <message>
        <source>Winsock Error: </source>
        <translation>Netzwerkfehler: </translation>
    </message>
    <message>
        <source>Sucessful Message Send to: %1)</source>
        <translation>Nachricht erfolgreich gesendet an: %1)</translation>
    </message>
    <message>
        <source>Message sent to: %1), but not confirmed: %2</source>
        <translation>Nachricht gesendet an: %1), aber nicht bestätigt: %2</translation>
    </message>
    <message>
        <source>The chosen groups have no members</source>
        <translation>Die gewählten Gruppen haben keine Mitglieder</translation>
    </message>
    <message>
        <source>%1 is now at %2 (was %3); the user list follows.</source>
        <translation>%1 ist jetzt unter %2 (vorher %3); die Benutzerliste folgt.</translation>
    </message>
    <message>
        <source> - encrypted, verified</source>
        <translation> – verschlüsselt, bestätigt</translation>
    </message>
    <message>
        <source> - encrypted</source>
        <translation> – verschlüsselt</translation>
    </message>
    <message>
        <source>WARNING: the key of %1 has changed.

The recipient showed a key with the code
%2
but the key pinned for %1 has the code
%3

Someone may be posing as %1. The message was not sent. If %1 really has a new key (compare the code with them), use Forget Key in their entry of the user list, and the next message pins the new one.</source>
        <translation>WARNUNG: Der Schlüssel von %1 hat sich geändert.

Der Empfänger zeigte einen Schlüssel mit dem Code
%2
aber für %1 ist der Schlüssel mit dem Code
%3
gespeichert.

Jemand gibt sich womöglich als %1 aus. Die Nachricht wurde nicht gesendet. Wenn %1 wirklich einen neuen Schlüssel hat (vergleichen Sie den Code mit der Person), wählen Sie in ihrem Eintrag der Benutzerliste „Schlüssel vergessen“; die nächste Nachricht speichert dann den neuen.</translation>
    </message>
</context>
<context>
    <name>SendWindow</name>
    <message>
        <source>Send Message</source>
        <translation>Nachricht senden</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Modify User</source>
        <translation>Benutzer bearbeiten</translation>
    </message>
    <message>
        <source>Se&amp;veral...</source>
        <translation>&amp;Mehrere...</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Option</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>&amp;Program Option ...</source>
        <translation>&amp;Programmoptionen ...</translation>
    </message>
    <message>
        <source>&amp;Identification ...</source>
        <translation>&amp;Identifikation ...</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Your &amp;ip...</source>
        <translation>Ihre &amp;IP-Adresse...</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>Ü&amp;ber...</translation>
    </message>
    <message>
        <source>Return to main menu for reply to user %1</source>
        <translation>Kehren Sie zum Hauptmenü zurück, um %1 zu antworten</translation>
    </message>
</context>
<context>
    <name>SenderOptionsDialog</name>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Miscellaneous</source>
        <translation>Verschiedenes</translation>
    </message>
    <message>
        <source>Minimized when message is sent</source>
        <translation>Nach dem Senden minimieren</translation>
    </message>
    <message>
        <source>Pop-up when message is sent</source>
        <translation>Nach dem Senden in den Vordergrund</translation>
    </message>
    <message>
        <source>Network option</source>
        <translation>Netzwerkoption</translation>
    </message>
    <message>
        <source>Default IP:</source>
        <translation>Standard-IP:</translation>
    </message>
    <message>
        <source>Default port :</source>
        <translation>Standardport:</translation>
    </message>
    <message>
        <source>Invalid port number</source>
        <translation>Ungültige Portnummer</translation>
    </message>
    <message>
        <source>Invalid ip address</source>
        <translation>Ungültige IP-Adresse</translation>
    </message>
</context>
<context>
    <name>SenderTrust</name>
    <message>
        <source>not encrypted</source>
        <translation>nicht verschlüsselt</translation>
    </message>
    <message>
        <source>encrypted, new key %1</source>
        <translation>verschlüsselt, neuer Schlüssel %1</translation>
    </message>
    <message>
        <source>encrypted, key seen before</source>
        <translation>verschlüsselt, bekannter Schlüssel</translation>
    </message>
    <message>
        <source>encrypted, verified</source>
        <translation>verschlüsselt, bestätigt</translation>
    </message>
    <message>
        <source>WARNING: not encrypted, and this name belongs to a contact with a key: the sender may not be who the name says</source>
        <translation>WARNUNG: nicht verschlüsselt, und dieser Name gehört einem Kontakt mit Schlüssel: Der Absender ist vielleicht nicht, wer der Name sagt</translation>
    </message>
    <message>
        <source>WARNING: another key than the one of the contact with this name (%1): the sender may not be who the name says</source>
        <translation>WARNUNG: ein anderer Schlüssel als der des Kontakts mit diesem Namen (%1): Der Absender ist vielleicht nicht, wer der Name sagt</translation>
    </message>
</context>
<context>
    <name>SettingsDialog</name>
    <message>
        <source>Load</source>
        <translation>Laden</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Verbergen</translation>
    </message>
    <message>
        <source>Start Sender</source>
        <translation>Sender starten</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Popmenu</source>
        <translation>Kontextmenü</translation>
    </message>
    <message>
        <source>%1 (%2 unread)</source>
        <translation>%1 (%2 ungelesen)</translation>
    </message>
</context>
<context>
    <name>UserDialog</name>
    <message>
        <source>Invalid User Name (lenght must be between 1 and %1)</source>
        <translation>Ungültiger Benutzername (Länge muss zwischen 1 und %1 liegen)</translation>
    </message>
    <message>
        <source>User</source>
        <translation>Benutzer</translation>
    </message>
    <message>
        <source>Test</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>IP number</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Add Network User</source>
        <translation>Benutzer aus dem Netzwerk hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>&amp;Testen</translation>
    </message>
    <message>
        <source>User Name and IP already in Use</source>
        <translation>Benutzername und IP bereits vergeben</translation>
    </message>
    <message>
        <source>Invalid ip address</source>
        <translation>Ungültige IP-Adresse</translation>
    </message>
    <message>
        <source>Invalid port number</source>
        <translation>Ungültige Portnummer</translation>
    </message>
    <message>
        <source>Unable to Browse the network</source>
        <translation>Das Netzwerk kann nicht durchsucht werden</translation>
    </message>
    <message>
        <source>Key code</source>
        <translation>Schlüsselcode</translation>
    </message>
    <message>
        <source>Forget Key</source>
        <translation>Schlüssel vergessen</translation>
    </message>
    <message>
        <source>Verified: this code matches the one the person sees in their own Identification</source>
        <translation>Bestätigt: Dieser Code stimmt mit dem überein, den die Person in ihrer eigenen Identifikation sieht</translation>
    </message>
    <message>
        <source>none yet: pinned on the first encrypted message</source>
        <translation>noch keiner: wird bei der ersten verschlüsselten Nachricht gespeichert</translation>
    </message>
</context>
<context>
    <name>UserListEditor</name>
    <message>
        <source>Modify User</source>
        <translation>Benutzer bearbeiten</translation>
    </message>
    <message>
        <source>User list</source>
        <translation>Benutzerliste</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Modify</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Laden</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>ListView Option</source>
        <translation>Listenoptionen</translation>
    </message>
    <message>
        <source>Move &amp;First</source>
        <translation>An den &amp;Anfang</translation>
    </message>
    <message>
        <source>Move &amp;Up</source>
        <translation>Nach &amp;oben</translation>
    </message>
    <message>
        <source>Move &amp;Down</source>
        <translation>Nach &amp;unten</translation>
    </message>
    <message>
        <source>Move &amp;Last</source>
        <translation>An das &amp;Ende</translation>
    </message>
    <message>
        <source>Cannot delete localhost</source>
        <translation>localhost kann nicht gelöscht werden</translation>
    </message>
    <message>
        <source>&amp;People...</source>
        <translation>&amp;Personen...</translation>
    </message>
</context>
<context>
    <name>UserListView</name>
    <message>
        <source>User Name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>User IP</source>
        <translation>Benutzer-IP</translation>
    </message>
    <message>
        <source>User Port</source>
        <translation>Benutzerport</translation>
    </message>
</context>
<context>
    <name>YourIpDialog</name>
    <message>
        <source>Your IP is...</source>
        <translation>Ihre IP ist...</translation>
    </message>
    <message>
        <source>IP</source>
        <translation>IP</translation>
    </message>
    <message>
        <source>Your IP address</source>
        <translation>Ihre IP-Adresse</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
