#pragma once

// A computer source that answers from a table, a moment after it is asked,
// as a real network would.

#include "computersource.h"

#include <QList>
#include <QTimer>

struct FakeComputer
{
    QString name;
    QString hostName;
    QString address;
};

class FakeComputerSource : public ComputerSource
{
public:
    FakeComputerSource(QList<FakeComputer> computers, QString note = QString())
        : m_computers(std::move(computers))
        , m_note(std::move(note))
    {}

    void start() override
    {
        QTimer::singleShot(0, this, [this] {
            for (const FakeComputer &computer : std::as_const(m_computers))
                emit computerFound(computer.name, computer.hostName, computer.address);
            if (!m_note.isEmpty())
                emit unavailable(m_note);
        });
    }

private:
    QList<FakeComputer> m_computers;
    QString m_note;
};
