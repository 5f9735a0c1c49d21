#include "line/lineprobe.h"

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>

bool lineHungUp(qintptr handle)
{
    if (handle < 0)
        return false;
    pollfd probe{int(handle), POLLIN, 0};
    return ::poll(&probe, 1, 0) > 0 && (probe.revents & POLLHUP);
}

int bytesOnLine(qintptr handle)
{
    int count = 0;
    return handle >= 0 && ::ioctl(int(handle), FIONREAD, &count) == 0 ? count : 0;
}

bool holdDevice(qintptr handle)
{
    return handle >= 0 && ::flock(int(handle), LOCK_EX | LOCK_NB) == 0;
}

#else

// Qt reports a vanished device as a resource error on every platform; a
// hang-up that it reports as a read error only is not told apart here.
bool lineHungUp(qintptr)
{
    return false;
}

// The port's own count of fetched bytes is all there is.
int bytesOnLine(qintptr)
{
    return 0;
}

// Only the port's own exclusive mode guards the device.
bool holdDevice(qintptr)
{
    return true;
}

#endif
