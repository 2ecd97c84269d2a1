// Tells whether the user's input (keys, mouse, touch) has arrived since the last probe: an
// application-wide event filter notes the class of every input event delivered. What the toolkit
// does on its own (timers such as a text cursor's blink, repaints, queued calls) is handled as it
// comes and never waits behind a refresh, so it does not count.
#pragma once

#include <QObject>

class CPendingInput : public QObject {
    Q_OBJECT
public:
    CPendingInput();
    ~CPendingInput() override;

    // Whether any class in `mask` arrived since it was last probed; clears those classes.
    bool Probe(unsigned mask);
    // The class bit of an event, or 0 for events that do not count.
    static unsigned ClassOf(const QEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    unsigned m_arrived = 0;
};
