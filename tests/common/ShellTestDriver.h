#pragma once
// A driver built on the shared shell for the shell's tests: a programming-port
// style link and protocol operations that only record how they were called.

#include "DriverShell.h"
#include "LinkTransport.h"

#include <QList>

struct RecordedCall {
    bool write;
    QString address;
    int type;
    int count;
    CLabelVariable value;
};

inline LinkProfile shellTestProfile()
{
    return LinkProfile::of(QStringLiteral("Kelvaro"), true, false);
}

inline DriverIdentity shellTestIdentity()
{
    return {"Kelvaro", "V1.2.2 20230221", "v1.2.2 %1 %2", "Dec 18 2023", "11:13:48"};
}

class ShellTestDriver : public CDriverShell
{
    Q_OBJECT
public:
    explicit ShellTestDriver(const DriverIdentity &identity = shellTestIdentity(),
                             const LinkProfile &profile = shellTestProfile())
        : CDriverShell(identity, m_cmd), m_cmd(profile)
    {
    }

    using CDriverShell::ReadVariable;
    using CDriverShell::WriteVariable;

    CLabelVariable ReadVariable(QString address, DataType type, int count) override
    {
        m_calls.append({false, address, int(type), count, CLabelVariable()});
        return answer(address, type, count, 0);
    }
    CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value, int count) override
    {
        m_calls.append({true, address, int(type), count, value});
        return answer(address, type, count, 1);
    }

    CLinkTransport &cmd() { return m_cmd; }
    const QList<RecordedCall> &calls() const { return m_calls; }

private:
    static CLabelVariable answer(const QString &address, DataType type, int count, int aux)
    {
        CLabelVariable v;
        v.status = 0;
        v.address = address;
        v.dataType = int(type);
        v.count = count;
        v.auxCode = aux;
        v.value = QVariant::fromValue(QList<short>{short(count), short(aux)});
        return v;
    }

    CLinkTransport m_cmd;
    QList<RecordedCall> m_calls;
};
