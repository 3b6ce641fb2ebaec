#pragma once

#include "sim/mdlEmuSim.h"
#include "support/FakeSerialPort.h"

#include <QTimer>
#include <memory>

// A port wired to an in-process emulator model: every write reaches the
// model, its reply arrives on the next pass of the event loop (after the
// erase delay when there is one). `silent` drops everything the model says;
// with `onlyName` set, a port of any other name stays silent too.
class TEmuPort : public TFakeSerialPort {
    Q_OBJECT
public:
    explicit TEmuPort(TEmuModel& model) : m_model(model) {}

    qint64 write(const QByteArray& bytes) override
    {
        const qint64 n = TFakeSerialPort::write(bytes);
        if (n < 0)
            return n;
        int delayMs = 0;
        const QByteArray reply = m_model.receive(bytes, &delayMs);
        const bool answers = !silent && (onlyName.isEmpty() || portName() == onlyName);
        if (!reply.isEmpty() && answers)
            QTimer::singleShot(delayMs, this, [this, reply] { inject(reply); });
        return n;
    }

    bool silent = false;
    QString onlyName; // when set, only a port of this name answers

private:
    TEmuModel& m_model;
};
