// Stands in for openvpn.exe, killswitch.exe and dns.exe in a test application folder. Every run
// appends "NAME ARGS..." to the file named by VPN_STANDIN_RECORD, so a test can tell exactly
// what the service ran. Arguments:
//   exit N   end with code N
//   wait     run until SIGTERM (records "NAME SIGTERM", ends with 0) or SIGKILL
//   --config FILE --management-query-passwords   (OpenVPN as the service runs it) as wait
//   anything else: end with 0
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

std::string programName(const char* path)
{
    std::string name = path;
    const std::string::size_type slash = name.rfind('/');
    if (slash != std::string::npos) {
        name = name.substr(slash + 1);
    }
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) {
        name.resize(name.size() - 4);
    }
    return name;
}

void record(const std::string& line)
{
    const char* file = std::getenv("VPN_STANDIN_RECORD");
    if (file == nullptr) {
        return;
    }
    const int fd = ::open(file, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) {
        return;
    }
    const std::string text = line + "\n";
    const ssize_t written = ::write(fd, text.data(), text.size());
    (void)written;
    ::close(fd);
}

volatile std::sig_atomic_t terminated = 0;

void onTerm(int)
{
    terminated = 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string name = programName(argv[0]);
    bool wait = argc >= 2 && std::strcmp(argv[1], "wait") == 0;
    for (int i = 1; i < argc; ++i) {
        wait = wait || std::strcmp(argv[i], "--management-query-passwords") == 0;
    }
    if (wait) {
        // Before the record: once a test sees the run, SIGTERM is handled.
        struct sigaction action = {};
        action.sa_handler = onTerm;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    std::string line = name;
    for (int i = 1; i < argc; ++i) {
        line += " ";
        line += argv[i];
    }
    record(line);

    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) {
        return std::atoi(argv[2]);
    }
    if (wait) {
        while (terminated == 0) {
            ::pause();
        }
        record(name + " SIGTERM");
    }
    return 0;
}
