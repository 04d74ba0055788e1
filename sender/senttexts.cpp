#include "senttexts.h"

#include <algorithm>

void SentTexts::add(const QString &text)
{
    if (m_texts.size() - 1 == kSize)
        m_texts.removeAt(1);
    m_texts.append(text);
    m_position = static_cast<int>(m_texts.size()) - 1;
}

const QString &SentTexts::older()
{
    m_position = std::max(m_position - 1, 0);
    return m_texts.at(m_position);
}

const QString &SentTexts::newer()
{
    m_position = std::min(m_position + 1, static_cast<int>(m_texts.size()) - 1);
    return m_texts.at(m_position);
}
