#pragma once

#include <QString>
#include <QStringList>

// The texts of recently started sends, which Shift+Up and Shift+Down in the
// message field browse. Position 0 always holds an empty text; a new send
// puts its text last and the position after it.
class SentTexts
{
public:
    static constexpr int kSize = 10;

    SentTexts() = default;

    // Drops the oldest text once kSize are kept.
    void add(const QString &text);
    // One older (Shift+Up) or newer (Shift+Down), staying within the texts.
    const QString &older();
    const QString &newer();

    const QStringList &texts() const { return m_texts; }
    int position() const { return m_position; }

private:
    QStringList m_texts{QString()};
    int m_position = 0;
};
