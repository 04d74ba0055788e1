<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>AboutBox</name>
    <message>
        <source>Quill carries short pop-up messages from person to person inside a closed circle of machines: your office, your lab, your home network. Messages go straight from one computer to the other, with no outside service in between and nothing stored on the way.</source>
        <translation>Quill transmet de courts messages instantanés de personne à personne au sein d’un cercle fermé de machines : votre bureau, votre laboratoire, votre réseau domestique. Les messages vont directement d’un ordinateur à l’autre, sans service extérieur entre les deux et sans rien stocker en chemin.</translation>
    </message>
    <message>
        <source>Design and programming: the Quill developers
Icons: drawn for Quill
Built with Qt</source>
        <translation>Conception et programmation : les développeurs de Quill
Icônes : dessinées pour Quill
Construit avec Qt</translation>
    </message>
    <message>
        <source>Credits</source>
        <translation>Crédits</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>E-mail</source>
        <translation>Courriel</translation>
    </message>
    <message>
        <source>Website</source>
        <translation>Site web</translation>
    </message>
    <message>
        <source>Opens %1</source>
        <translation>Ouvre %1</translation>
    </message>
</context>
<context>
    <name>AddressProbe</name>
    <message>
        <source>%1 port %2</source>
        <translation>%1 port %2</translation>
    </message>
    <message>
        <source>%1 is reachable: a program listens there.</source>
        <translation>%1 est joignable : un programme y écoute.</translation>
    </message>
    <message>
        <source>%1 refused the connection: nothing listens there.</source>
        <translation>%1 a refusé la connexion : rien n’y écoute.</translation>
    </message>
    <message>
        <source>%1 did not answer within %2 s: the computer may be off or out of reach, or a firewall drops the connection.</source>
        <translation>%1 n’a pas répondu en %2 s : l’ordinateur est peut-être éteint ou hors d’atteinte, ou un pare-feu rejette la connexion.</translation>
    </message>
    <message>
        <source>%1 could not be reached: %2</source>
        <translation>%1 n’a pas pu être joint : %2</translation>
    </message>
    <message>
        <source>
On Linux, Quillbox can listen on port %1 only with the cap_net_bind_service capability (see &quot;Port 505 on Linux&quot; in the README).</source>
        <translation>
Sous Linux, Quillbox ne peut écouter sur le port %1 qu’avec la capacité cap_net_bind_service (voir « Port 505 on Linux » dans le README).</translation>
    </message>
</context>
<context>
    <name>AvahiComputerSource</name>
    <message>
        <source>The network browsing service (avahi-daemon) is not running, so no computers are listed. Type a computer name or address instead.</source>
        <translation>Le service de découverte du réseau (avahi-daemon) ne fonctionne pas, aucun ordinateur n’est donc listé. Saisissez plutôt un nom d’ordinateur ou une adresse.</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Try &apos;%1 --help&apos;.</source>
        <translation>Essayez « %1 --help ».</translation>
    </message>
    <message>
        <source>Receives pop-up messages on the local network.</source>
        <translation>Reçoit des messages instantanés sur le réseau local.</translation>
    </message>
    <message>
        <source>Start with the main window hidden.</source>
        <translation>Démarrer avec la fenêtre principale masquée.</translation>
    </message>
    <message>
        <source>Show this help and end.</source>
        <translation>Afficher cette aide et terminer.</translation>
    </message>
    <message>
        <source>Show the version and end.</source>
        <translation>Afficher la version et terminer.</translation>
    </message>
    <message>
        <source>The sender name shown to the recipients (default: your identification).</source>
        <translation>Le nom d’expéditeur montré aux destinataires (par défaut : votre identification).</translation>
    </message>
    <message>
        <source>The port on which your Quillbox takes replies (default: your identification).</source>
        <translation>Le port sur lequel votre Quillbox reçoit les réponses (par défaut : votre identification).</translation>
    </message>
    <message>
        <source>The text to send (default: standard input).</source>
        <translation>Le texte à envoyer (par défaut : l’entrée standard).</translation>
    </message>
    <message>
        <source>unexpected argument &quot;%1&quot;</source>
        <translation>argument inattendu « %1 »</translation>
    </message>
    <message>
        <source>no recipient: give at least one --to</source>
        <translation>aucun destinataire : donnez au moins un --to</translation>
    </message>
    <message>
        <source>--%1 may be given only once</source>
        <translation>--%1 ne peut être donné qu’une fois</translation>
    </message>
    <message>
        <source>--from: the name must be 1 to %1 characters long</source>
        <translation>--from : le nom doit compter de 1 à %1 caractères</translation>
    </message>
    <message>
        <source>--reply-port: not a port number (0 to 65535 in decimal digits)</source>
        <translation>--reply-port : pas un numéro de port (0 à 65535 en chiffres décimaux)</translation>
    </message>
    <message>
        <source>no recipient: the groups given have no members</source>
        <translation>aucun destinataire : les groupes donnés n’ont aucun membre</translation>
    </message>
    <message>
        <source>the message is too long to send (at most %1 bytes)</source>
        <translation>le message est trop long pour être envoyé (%1 octets au plus)</translation>
    </message>
    <message>
        <source>Sends a pop-up message to people on the local network. Without options it opens its window.
Exit status: 0 when every recipient confirmed the message, 1 when any did not, 2 for a usage error.</source>
        <translation>Envoie un message instantané à des personnes du réseau local. Sans option, il ouvre sa fenêtre.
Code de sortie : 0 si chaque destinataire a confirmé le message, 1 si l’un ne l’a pas fait, 2 pour une erreur d’utilisation.</translation>
    </message>
    <message>
        <source>Send to a user or a group of the user list, a person online by name, or an address: IPV4[:PORT], [IPV6][:PORT] or HOST:PORT (the default port when none is given). May be given several times.</source>
        <translation>Envoyer à un utilisateur ou un groupe de la liste, à une personne en ligne par son nom, ou à une adresse : IPV4[:PORT], [IPV6][:PORT] ou HOST:PORT (le port par défaut s’il n’est pas indiqué). Peut être donné plusieurs fois.</translation>
    </message>
    <message>
        <source>Print the people online (name, address, port, id), one a line.</source>
        <translation>Afficher les personnes en ligne (nom, adresse, port, identifiant), une par ligne.</translation>
    </message>
    <message>
        <source>How long to look for people online (--list, or --to with a name not in the user list), in seconds (default 2).</source>
        <translation>Durée de la recherche des personnes en ligne (--list, ou --to avec un nom absent de la liste), en secondes (2 par défaut).</translation>
    </message>
    <message>
        <source>--wait: 0 to %1 seconds in decimal digits</source>
        <translation>--wait : de 0 à %1 secondes en chiffres décimaux</translation>
    </message>
    <message>
        <source>unknown recipient &quot;%1&quot;: not a user or group of the list, nor a person online, nor IPV4[:PORT], [IPV6][:PORT] or HOST:PORT (PORT 1 to 65535 in decimal digits)</source>
        <translation>destinataire inconnu « %1 » : ni utilisateur ni groupe de la liste, ni personne en ligne, ni IPV4[:PORT], [IPV6][:PORT] ou HOST:PORT (PORT de 1 à 65535 en chiffres décimaux)</translation>
    </message>
    <message>
        <source>unknown recipient &quot;%1&quot;: several people online have that name; give their address</source>
        <translation>destinataire inconnu « %1 » : plusieurs personnes en ligne portent ce nom ; indiquez leur adresse</translation>
    </message>
    <message>
        <source>Send only encrypted: a recipient without a key gets nothing and counts as failed (exit status 1).</source>
        <translation>N’envoyer que chiffré : un destinataire sans clé ne reçoit rien et compte comme un échec (code de sortie 1).</translation>
    </message>
</context>
<context>
    <name>ComputerPicker</name>
    <message>
        <source>Select a network computer.</source>
        <translation>Sélectionnez un ordinateur du réseau.</translation>
    </message>
    <message>
        <source>Looking for computers...</source>
        <translation>Recherche d’ordinateurs...</translation>
    </message>
    <message>
        <source>No computer has answered. Type a computer name or address.</source>
        <translation>Aucun ordinateur n’a répondu. Saisissez un nom d’ordinateur ou une adresse.</translation>
    </message>
    <message>
        <source>No way to look for computers here; type a computer name.</source>
        <translation>Impossible de chercher des ordinateurs ici ; saisissez un nom d’ordinateur.</translation>
    </message>
    <message>
        <source>Computers on the network:</source>
        <translation>Ordinateurs du réseau :</translation>
    </message>
    <message>
        <source>Computer &amp;name:</source>
        <translation>&amp;Nom de l’ordinateur :</translation>
    </message>
    <message numerus="yes">
        <source>%n computer(s) found.</source>
        <translation>
            <numerusform>%n ordinateur trouvé.</numerusform>
            <numerusform>%n ordinateurs trouvés.</numerusform>
        </translation>
    </message>
    <message>
        <source>Looking up %1...</source>
        <translation>Recherche de %1...</translation>
    </message>
</context>
<context>
    <name>DesktopNotifier</name>
    <message>
        <source>Open</source>
        <translation>Ouvrir</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Répondre</translation>
    </message>
</context>
<context>
    <name>HistoryModel</name>
    <message>
        <source>Received</source>
        <translation>Reçu</translation>
    </message>
    <message>
        <source>From</source>
        <translation>De</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>Security</source>
        <translation>Sécurité</translation>
    </message>
</context>
<context>
    <name>HistoryStore</name>
    <message>
        <source>The folder %1 cannot be made owner-only.</source>
        <translation>Le dossier %1 ne peut pas être réservé à son propriétaire.</translation>
    </message>
    <message>
        <source>The file %1 cannot be opened for writing.</source>
        <translation>Le fichier %1 ne peut pas être ouvert en écriture.</translation>
    </message>
    <message>
        <source>The history cannot use a write-ahead log.</source>
        <translation>L’historique ne peut pas utiliser de journal d’écriture anticipée.</translation>
    </message>
    <message>
        <source>The history was written by a later Quillbox.</source>
        <translation>L’historique a été écrit par une version plus récente de Quillbox.</translation>
    </message>
    <message>
        <source>The file %1 cannot be made owner-only.</source>
        <translation>Le fichier %1 ne peut pas être réservé à son propriétaire.</translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>History</source>
        <translation>Historique</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Rechercher</translation>
    </message>
    <message>
        <source>The history cannot be opened: </source>
        <translation>L’historique ne peut pas être ouvert : </translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>Messages</source>
        <translation>Messages</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Répondre</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copier</translation>
    </message>
</context>
<context>
    <name>IdentificationDialog</name>
    <message>
        <source>Identification</source>
        <translation>Identification</translation>
    </message>
    <message>
        <source>User identification</source>
        <translation>Identification de l’utilisateur</translation>
    </message>
    <message>
        <source>User name:</source>
        <translation>Nom d’utilisateur :</translation>
    </message>
    <message>
        <source>User reply port:</source>
        <translation>Port de réponse de l’utilisateur :</translation>
    </message>
    <message>
        <source>Verification code:</source>
        <translation>Code de vérification :</translation>
    </message>
    <message>
        <source>(no key)</source>
        <translation>(aucune clé)</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copier</translation>
    </message>
    <message>
        <source>Invalid port number</source>
        <translation>Numéro de port non valide</translation>
    </message>
</context>
<context>
    <name>Identity</name>
    <message>
        <source>Your key file %1 is gone.</source>
        <translation>Votre fichier de clé %1 a disparu.</translation>
    </message>
    <message>
        <source>Your key file %1 cannot be read: %2.</source>
        <translation>Votre fichier de clé %1 ne peut pas être lu : %2.</translation>
    </message>
    <message>
        <source>

Make a new key? People who pinned your old key (code %1) will be told that it changed.</source>
        <translation>

Créer une nouvelle clé ? Les personnes qui ont retenu votre ancienne clé (code %1) apprendront qu’elle a changé.</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>inconnu</translation>
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

Le port %1 est inférieur à %2, et seuls les programmes qui en ont reçu le droit peuvent y écouter. Accordez-le une fois avec :
sudo setcap cap_net_bind_service=+ep &quot;%3&quot;
ou choisissez un port à partir de %2 dans Options, Options du programme.</translation>
    </message>
    <message>
        <source>Invalid port number %1</source>
        <translation>Numéro de port non valide %1</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>The settings could not be saved to %1.
Check that the disk has room and that the folder may be written to.</source>
        <translation>Les réglages n’ont pas pu être enregistrés dans %1.
Vérifiez que le disque a de la place et que le dossier est accessible en écriture.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Avertissement</translation>
    </message>
    <message>
        <source>Message Waiting</source>
        <translation>Message en attente</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Réponse</translation>
    </message>
    <message>
        <source>Message Send!!</source>
        <translation>Message envoyé !!</translation>
    </message>
</context>
<context>
    <name>MessageFanout</name>
    <message>
        <source>not in the user list</source>
        <translation>absent de la liste des utilisateurs</translation>
    </message>
    <message>
        <source>delivered: %1</source>
        <translation>remis : %1</translation>
    </message>
    <message>
        <source>not confirmed: %1: %2</source>
        <translation>non confirmé : %1 : %2</translation>
    </message>
    <message>
        <source>failed: %1: %2</source>
        <translation>échec : %1 : %2</translation>
    </message>
    <message>
        <source>not confirmed: </source>
        <translation>non confirmé : </translation>
    </message>
    <message>
        <source>Delivered to %1 of %2 recipients.</source>
        <translation>Remis à %1 destinataires sur %2.</translation>
    </message>
    <message>
        <source>
Delivered: </source>
        <translation>
Remis : </translation>
    </message>
    <message>
        <source>
Not delivered: </source>
        <translation>
Non remis : </translation>
    </message>
    <message>
        <source>delivered (encrypted, verified): %1</source>
        <translation>remis (chiffré, vérifié) : %1</translation>
    </message>
    <message>
        <source>delivered (encrypted): %1</source>
        <translation>remis (chiffré) : %1</translation>
    </message>
</context>
<context>
    <name>MessageField</name>
    <message>
        <source>Message</source>
        <translation>Message</translation>
    </message>
</context>
<context>
    <name>MessageSender</name>
    <message>
        <source>No recipient is selected</source>
        <translation>Aucun destinataire n’est sélectionné</translation>
    </message>
    <message>
        <source>The port %1 is not a valid port (1 to 65535)</source>
        <translation>Le port %1 n’est pas un port valide (1 à 65535)</translation>
    </message>
    <message>
        <source>The message is too long to send (at most %1 bytes)</source>
        <translation>Le message est trop long pour être envoyé (%1 octets au plus)</translation>
    </message>
    <message>
        <source>no answer from the recipient within %1 s</source>
        <translation>pas de réponse du destinataire en %1 s</translation>
    </message>
    <message>
        <source>no connection within %1 s</source>
        <translation>pas de connexion en %1 s</translation>
    </message>
    <message>
        <source>The address &quot;%1&quot; is not a valid IPv4 or IPv6 address or host name</source>
        <translation>L’adresse « %1 » n’est ni une adresse IPv4 ou IPv6 valide ni un nom d’hôte</translation>
    </message>
    <message>
        <source>not sent: the recipient has no key, and only encrypted sending is allowed</source>
        <translation>non envoyé : le destinataire n’a pas de clé, et seul l’envoi chiffré est permis</translation>
    </message>
    <message>
        <source>not sent: your own key cannot be read (see Identification)</source>
        <translation>non envoyé : votre propre clé ne peut pas être lue (voir Identification)</translation>
    </message>
    <message>
        <source>not sent: the recipient showed another key (code %1) than the one expected (code %2)</source>
        <translation>non envoyé : le destinataire a présenté une autre clé (code %1) que celle attendue (code %2)</translation>
    </message>
    <message>
        <source>no encrypted connection within %1 s: the recipient did not finish the handshake</source>
        <translation>pas de connexion chiffrée en %1 s : le destinataire n’a pas terminé la négociation</translation>
    </message>
</context>
<context>
    <name>MessageWindow</name>
    <message>
        <source>Messages</source>
        <translation>Messages</translation>
    </message>
    <message>
        <source>Read next -&gt;</source>
        <translation>Lire la suivante -&gt;</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Répondre</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Message </source>
        <translation>Message </translation>
    </message>
    <message>
        <source>%1 more from this sender could not be shown here; they are in the History.</source>
        <translation>%1 autres de cet expéditeur n’ont pas pu être affichés ici ; ils sont dans l’historique.</translation>
    </message>
    <message>
        <source>%1 more from this sender could not be shown.</source>
        <translation>%1 autres de cet expéditeur n’ont pas pu être affichés.</translation>
    </message>
</context>
<context>
    <name>PortStatus</name>
    <message>
        <source>Not listening on port %1: %2</source>
        <translation>Pas d’écoute sur le port %1 : %2</translation>
    </message>
    <message>
        <source> (ports below 1024 need a right granted once: see &quot;Port 505 on Linux&quot; in the README)</source>
        <translation> (les ports inférieurs à 1024 demandent un droit accordé une fois : voir « Port 505 on Linux » dans le README)</translation>
    </message>
    <message>
        <source>Not listening on %1 more ports</source>
        <translation>Pas d’écoute sur %1 autres ports</translation>
    </message>
    <message>
        <source>Listening on ports %1</source>
        <translation>À l’écoute sur les ports %1</translation>
    </message>
    <message>
        <source>Listening on port %1</source>
        <translation>À l’écoute sur le port %1</translation>
    </message>
    <message>
        <source>Listening on no port</source>
        <translation>À l’écoute sur aucun port</translation>
    </message>
    <message>
        <source>Ports</source>
        <translation>Ports</translation>
    </message>
    <message>
        <source>Winsock Error: </source>
        <translation>Erreur réseau : </translation>
    </message>
</context>
<context>
    <name>ReceiverOptionsDialog</name>
    <message>
        <source>Options</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Miscellaneous</source>
        <translation>Divers</translation>
    </message>
    <message>
        <source>Play sound on incoming message</source>
        <translation>Jouer un son à l’arrivée d’un message</translation>
    </message>
    <message>
        <source>Show incoming messages in:</source>
        <translation>Afficher les messages reçus dans :</translation>
    </message>
    <message>
        <source>A window</source>
        <translation>Une fenêtre</translation>
    </message>
    <message>
        <source>A desktop notification</source>
        <translation>Une notification du bureau</translation>
    </message>
    <message>
        <source>A window and a desktop notification</source>
        <translation>Une fenêtre et une notification du bureau</translation>
    </message>
    <message>
        <source>Network option</source>
        <translation>Option réseau</translation>
    </message>
    <message>
        <source>Port to estabish connection:</source>
        <translation>Port pour établir la connexion :</translation>
    </message>
    <message>
        <source>New port</source>
        <translation>Nouveau port</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Ajouter</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Supprimer</translation>
    </message>
    <message>
        <source>Remove All</source>
        <translation>Tout supprimer</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Historique</translation>
    </message>
    <message>
        <source>Keep a history of received messages</source>
        <translation>Garder un historique des messages reçus</translation>
    </message>
    <message>
        <source> MB</source>
        <translation> Mo</translation>
    </message>
    <message>
        <source>Clear History</source>
        <translation>Vider l’historique</translation>
    </message>
    <message>
        <source>Messages kept at most:</source>
        <translation>Messages gardés au plus :</translation>
    </message>
    <message>
        <source>Space kept at most:</source>
        <translation>Espace occupé au plus :</translation>
    </message>
    <message>
        <source>Invalid port number</source>
        <translation>Numéro de port non valide</translation>
    </message>
    <message>
        <source>Must add at leat 1 port number</source>
        <translation>Il faut ajouter au moins un numéro de port</translation>
    </message>
    <message>
        <source>Remove every message from the history?</source>
        <translation>Supprimer tous les messages de l’historique ?</translation>
    </message>
    <message>
        <source>Announce me on the local network</source>
        <translation>M’annoncer sur le réseau local</translation>
    </message>
</context>
<context>
    <name>ReceiverWindow</name>
    <message>
        <source>Message Receiver</source>
        <translation>Récepteur de messages</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Fichier</translation>
    </message>
    <message>
        <source>&amp;History...</source>
        <translation>&amp;Historique...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Quitter</translation>
    </message>
    <message>
        <source>&amp;Option</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>&amp;Program Option...</source>
        <translation>Options du &amp;programme...</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Aide</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>À &amp;propos...</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Masquer</translation>
    </message>
    <message>
        <source>The message history could not keep %1 messages: </source>
        <translation>L’historique des messages n’a pas pu garder %1 messages : </translation>
    </message>
    <message>
        <source>Message Waiting, return to main menu to receive</source>
        <translation>Message en attente, revenez au menu principal pour le recevoir</translation>
    </message>
    <message>
        <source>The message history cannot be kept: </source>
        <translation>L’historique des messages ne peut pas être gardé : </translation>
    </message>
</context>
<context>
    <name>RecipientBox</name>
    <message>
        <source>Recipient</source>
        <translation>Destinataire</translation>
    </message>
</context>
<context>
    <name>RecipientsDialog</name>
    <message>
        <source>Send to Several</source>
        <translation>Envoyer à plusieurs</translation>
    </message>
    <message>
        <source>Recipients</source>
        <translation>Destinataires</translation>
    </message>
    <message>
        <source>&amp;Send</source>
        <translation>&amp;Envoyer</translation>
    </message>
    <message>
        <source>Save as &amp;Group...</source>
        <translation>Enregistrer comme &amp;groupe...</translation>
    </message>
    <message>
        <source>&amp;Delete Group</source>
        <translation>&amp;Supprimer le groupe</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Group: %1 (%2)</source>
        <translation>Groupe : %1 (%2)</translation>
    </message>
    <message>
        <source>Save as Group</source>
        <translation>Enregistrer comme groupe</translation>
    </message>
    <message>
        <source>Group name</source>
        <translation>Nom du groupe</translation>
    </message>
</context>
<context>
    <name>ReplyToSender</name>
    <message>
        <source>The sending program did not take the reply, so no message could be replied</source>
        <translation>Le programme d’envoi n’a pas pris la réponse, aucune réponse n’a donc pu être faite</translation>
    </message>
    <message>
        <source>No sender open, so no message could be replied</source>
        <translation>Aucun programme d’envoi ouvert, aucune réponse n’a donc pu être faite</translation>
    </message>
    <message>
        <source>The sender&apos;s name and address are too long to be handed to the sending program, so no message could be replied</source>
        <translation>Le nom et l’adresse de l’expéditeur sont trop longs pour être transmis au programme d’envoi, aucune réponse n’a donc pu être faite</translation>
    </message>
</context>
<context>
    <name>SendController</name>
    <message>
        <source>Winsock Error: </source>
        <translation>Erreur réseau : </translation>
    </message>
    <message>
        <source>Sucessful Message Send to: %1)</source>
        <translation>Message envoyé avec succès à : %1)</translation>
    </message>
    <message>
        <source>Message sent to: %1), but not confirmed: %2</source>
        <translation>Message envoyé à : %1), mais non confirmé : %2</translation>
    </message>
    <message>
        <source>The chosen groups have no members</source>
        <translation>Les groupes choisis n’ont aucun membre</translation>
    </message>
    <message>
        <source>%1 is now at %2 (was %3); the user list follows.</source>
        <translation>%1 est maintenant à %2 (auparavant %3) ; la liste des utilisateurs suit.</translation>
    </message>
    <message>
        <source> - encrypted, verified</source>
        <translation> – chiffré, vérifié</translation>
    </message>
    <message>
        <source> - encrypted</source>
        <translation> – chiffré</translation>
    </message>
    <message>
        <source>WARNING: the key of %1 has changed.

The recipient showed a key with the code
%2
but the key pinned for %1 has the code
%3

Someone may be posing as %1. The message was not sent. If %1 really has a new key (compare the code with them), use Forget Key in their entry of the user list, and the next message pins the new one.</source>
        <translation>ATTENTION : la clé de %1 a changé.

Le destinataire a présenté une clé de code
%2
mais la clé enregistrée pour %1 a le code
%3

Quelqu’un se fait peut-être passer pour %1. Le message n’a pas été envoyé. Si %1 a vraiment une nouvelle clé (comparez le code avec cette personne), choisissez « Oublier la clé » dans son entrée de la liste des utilisateurs ; le prochain message enregistrera la nouvelle.</translation>
    </message>
</context>
<context>
    <name>SendWindow</name>
    <message>
        <source>Send Message</source>
        <translation>Envoyer un message</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Envoyer</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Arrêter</translation>
    </message>
    <message>
        <source>Modify User</source>
        <translation>Modifier les utilisateurs</translation>
    </message>
    <message>
        <source>Se&amp;veral...</source>
        <translation>&amp;Plusieurs...</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Fichier</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Quitter</translation>
    </message>
    <message>
        <source>&amp;Option</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>&amp;Program Option ...</source>
        <translation>Options du &amp;programme ...</translation>
    </message>
    <message>
        <source>&amp;Identification ...</source>
        <translation>&amp;Identification ...</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Aide</translation>
    </message>
    <message>
        <source>Your &amp;ip...</source>
        <translation>Votre adresse &amp;IP...</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>À &amp;propos...</translation>
    </message>
    <message>
        <source>Return to main menu for reply to user %1</source>
        <translation>Revenez au menu principal pour répondre à %1</translation>
    </message>
</context>
<context>
    <name>SenderOptionsDialog</name>
    <message>
        <source>Options</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Miscellaneous</source>
        <translation>Divers</translation>
    </message>
    <message>
        <source>Minimized when message is sent</source>
        <translation>Réduire une fois le message envoyé</translation>
    </message>
    <message>
        <source>Pop-up when message is sent</source>
        <translation>Revenir au premier plan une fois le message envoyé</translation>
    </message>
    <message>
        <source>Network option</source>
        <translation>Option réseau</translation>
    </message>
    <message>
        <source>Default IP:</source>
        <translation>IP par défaut :</translation>
    </message>
    <message>
        <source>Default port :</source>
        <translation>Port par défaut :</translation>
    </message>
    <message>
        <source>Invalid port number</source>
        <translation>Numéro de port non valide</translation>
    </message>
    <message>
        <source>Invalid ip address</source>
        <translation>Adresse IP non valide</translation>
    </message>
</context>
<context>
    <name>SenderTrust</name>
    <message>
        <source>not encrypted</source>
        <translation>non chiffré</translation>
    </message>
    <message>
        <source>encrypted, new key %1</source>
        <translation>chiffré, nouvelle clé %1</translation>
    </message>
    <message>
        <source>encrypted, key seen before</source>
        <translation>chiffré, clé déjà vue</translation>
    </message>
    <message>
        <source>encrypted, verified</source>
        <translation>chiffré, vérifié</translation>
    </message>
    <message>
        <source>WARNING: not encrypted, and this name belongs to a contact with a key: the sender may not be who the name says</source>
        <translation>ATTENTION : non chiffré, et ce nom est celui d’un contact qui a une clé : l’expéditeur n’est peut-être pas celui que le nom indique</translation>
    </message>
    <message>
        <source>WARNING: another key than the one of the contact with this name (%1): the sender may not be who the name says</source>
        <translation>ATTENTION : une autre clé que celle du contact de ce nom (%1) : l’expéditeur n’est peut-être pas celui que le nom indique</translation>
    </message>
</context>
<context>
    <name>SettingsDialog</name>
    <message>
        <source>Load</source>
        <translation>Charger</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Appliquer</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Réinitialiser</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>Show</source>
        <translation>Afficher</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Masquer</translation>
    </message>
    <message>
        <source>Start Sender</source>
        <translation>Lancer l’envoi</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Historique</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>Popmenu</source>
        <translation>Menu contextuel</translation>
    </message>
    <message>
        <source>%1 (%2 unread)</source>
        <translation>%1 (%2 non lus)</translation>
    </message>
</context>
<context>
    <name>UserDialog</name>
    <message>
        <source>Invalid User Name (lenght must be between 1 and %1)</source>
        <translation>Nom d’utilisateur non valide (la longueur doit être comprise entre 1 et %1)</translation>
    </message>
    <message>
        <source>User</source>
        <translation>Utilisateur</translation>
    </message>
    <message>
        <source>Test</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nom</translation>
    </message>
    <message>
        <source>IP number</source>
        <translation>Adresse IP</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Enregistrer</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Add Network User</source>
        <translation>Ajouter un utilisateur du réseau</translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>&amp;Tester</translation>
    </message>
    <message>
        <source>User Name and IP already in Use</source>
        <translation>Nom d’utilisateur et IP déjà utilisés</translation>
    </message>
    <message>
        <source>Invalid ip address</source>
        <translation>Adresse IP non valide</translation>
    </message>
    <message>
        <source>Invalid port number</source>
        <translation>Numéro de port non valide</translation>
    </message>
    <message>
        <source>Unable to Browse the network</source>
        <translation>Impossible de parcourir le réseau</translation>
    </message>
    <message>
        <source>Key code</source>
        <translation>Code de clé</translation>
    </message>
    <message>
        <source>Forget Key</source>
        <translation>Oublier la clé</translation>
    </message>
    <message>
        <source>Verified: this code matches the one the person sees in their own Identification</source>
        <translation>Vérifié : ce code est celui que la personne voit dans sa propre Identification</translation>
    </message>
    <message>
        <source>none yet: pinned on the first encrypted message</source>
        <translation>aucune pour l’instant : enregistrée au premier message chiffré</translation>
    </message>
</context>
<context>
    <name>UserListEditor</name>
    <message>
        <source>Modify User</source>
        <translation>Modifier les utilisateurs</translation>
    </message>
    <message>
        <source>User list</source>
        <translation>Liste des utilisateurs</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Ajouter</translation>
    </message>
    <message>
        <source>Modify</source>
        <translation>Modifier</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Supprimer</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Réinitialiser</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Charger</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Appliquer</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>ListView Option</source>
        <translation>Options de la liste</translation>
    </message>
    <message>
        <source>Move &amp;First</source>
        <translation>Placer en &amp;premier</translation>
    </message>
    <message>
        <source>Move &amp;Up</source>
        <translation>&amp;Monter</translation>
    </message>
    <message>
        <source>Move &amp;Down</source>
        <translation>&amp;Descendre</translation>
    </message>
    <message>
        <source>Move &amp;Last</source>
        <translation>Placer en &amp;dernier</translation>
    </message>
    <message>
        <source>Cannot delete localhost</source>
        <translation>Impossible de supprimer localhost</translation>
    </message>
    <message>
        <source>&amp;People...</source>
        <translation>&amp;Personnes...</translation>
    </message>
</context>
<context>
    <name>UserListView</name>
    <message>
        <source>User Name</source>
        <translation>Nom d’utilisateur</translation>
    </message>
    <message>
        <source>User IP</source>
        <translation>IP de l’utilisateur</translation>
    </message>
    <message>
        <source>User Port</source>
        <translation>Port de l’utilisateur</translation>
    </message>
</context>
<context>
    <name>YourIpDialog</name>
    <message>
        <source>Your IP is...</source>
        <translation>Votre IP est...</translation>
    </message>
    <message>
        <source>IP</source>
        <translation>IP</translation>
    </message>
    <message>
        <source>Your IP address</source>
        <translation>Votre adresse IP</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
