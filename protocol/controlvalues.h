#ifndef CONTROLVALUES_H
#define CONTROLVALUES_H

#include <QString>

// Whether a typed DAC text is a number the module takes (9 to 31.5, both
// inclusive). Text that is not a number reads as 0 and is refused, and so
// is not-a-number. The text goes to the module as typed, so anything but
// printable ASCII is refused too (a full-width or no-break blank would reach
// it as bytes it does not know).
bool dacValueAccepted(const QString &text);

// The automatic cycle's period in ms for the seconds typed in TIME: 10 s when
// the text is empty, 0 or not a whole number; capped at the longest interval
// a timer takes instead of wrapping.
int cyclePeriodMs(const QString &seconds);

#endif
