// Stands in for openvpn.exe, killswitch.exe and dns.exe. Every run appends "NAME ARGS..." to the file
// named by VPN_STANDIN_RECORD. "exit N" ends with code N; "wait" runs until SIGTERM (records
// "NAME SIGTERM", ends with 0) or SIGKILL; anything else ends with 0.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

static volatile std::sig_atomic_t terminated = 0;

static void record(const std::string& line)
{
    const char* file = std::getenv("VPN_STANDIN_RECORD");
    const int fd = file != nullptr ? ::open(file, O_WRONLY | O_CREAT | O_APPEND, 0644) : -1;
    if (fd >= 0) {
        // One write, so that lines of programs running side by side do not mix.
        const ssize_t written = ::write(fd, (line + "\n").data(), line.size() + 1);
        (void)written;
        ::close(fd);
    }
}

int main(int argc, char** argv)
{
    std::string name = argv[0];
    name = name.substr(name.rfind('/') + 1);
    name = name.substr(0, name.rfind(".exe"));
    const bool wait = argc >= 2 && std::strcmp(argv[1], "wait") == 0;
    if (wait) { // before the record: once a test sees the run, SIGTERM is handled
        std::signal(SIGTERM, [](int) {
            terminated = 1;
        });
    }
    std::string line = name;
    for (int i = 1; i < argc; ++i) {
        line += std::string(" ") + argv[i];
    }
    record(line);
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) {
        return std::atoi(argv[2]);
    }
    while (wait && terminated == 0) {
        ::pause();
    }
    if (wait) {
        record(name + " SIGTERM");
    }
    return 0;
}
