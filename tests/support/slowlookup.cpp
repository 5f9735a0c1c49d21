// Preloaded into the program: a resolver whose name server never answers.
#include <netdb.h>
#include <unistd.h>

extern "C" int getaddrinfo(const char *, const char *, const addrinfo *, addrinfo **)
{
    ::sleep(30);
    return EAI_AGAIN;
}
