// Stands in for OpenVPN in tst_serviceopenvpnguard. It writes to its standard output (which the
// service points at the user's log file) what it was given: its arguments and the mode and owner
// of the configuration and its folder. It then runs until SIGTERM and writes the configuration as
// it reads it at that moment, so that the test sees whether the user's later edits reached it.
// Each start is appended to the file named by VPN_STANDIN_RECORD.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t terminated = 0;

void onTerm(int)
{
    terminated = 1;
}

void describe(const char* label, const std::string& path)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) == 0) {
        std::printf("%s %s mode %o uid %u\n", label, path.c_str(), info.st_mode & 07777, info.st_uid);
    } else {
        std::printf("%s %s missing\n", label, path.c_str());
    }
}

} // namespace

int main(int argc, char** argv)
{
    struct sigaction action = {};
    action.sa_handler = onTerm;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);

    std::string config;
    std::printf("guard-openvpn");
    for (int i = 1; i < argc; ++i) {
        std::printf(" %s", argv[i]);
        if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc) {
            config = argv[i + 1];
        }
    }
    std::printf("\n");
    describe("config", config);
    describe("folder", config.substr(0, config.rfind('/')));
    std::fflush(stdout);

    if (const char* file = std::getenv("VPN_STANDIN_RECORD")) {
        const int fd = ::open(file, O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            const char line[] = "guard-openvpn started\n";
            const ssize_t written = ::write(fd, line, sizeof(line) - 1);
            (void)written;
            ::close(fd);
        }
    }

    while (terminated == 0) {
        ::pause();
    }
    if (FILE* file = std::fopen(config.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof(line), file) != nullptr) {
            std::printf("config: %s", line);
        }
        std::fclose(file);
    }
    return 0;
}
