#pragma once
// The seconds-since-midnight clock, the current time and waiting, behind one
// replaceable object so that tests run the connect rule in milliseconds.

#include <QDateTime>

class Clock {
  public:
    virtual ~Clock() = default;
    virtual double SecondsSinceMidnight() const = 0;
    virtual QDateTime Now() const = 0;
    // Waits up to `ms` while processing window events; never spins.
    virtual void WaitStep(int ms) = 0;
};

class SystemClock final : public Clock {
  public:
    double SecondsSinceMidnight() const override;
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
    void WaitStep(int ms) override;
};
