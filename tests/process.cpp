#include "process.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <poll.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<char*> c_strings(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::vector<std::string> child_environment(const std::vector<std::string>& extra)
{
    std::vector<std::string> environment;
    for (const char* name : {"PATH", "HOME"}) {
        if (const char* value = std::getenv(name)) {
            environment.push_back(std::string(name) + "=" + value);
        }
    }
    environment.insert(environment.end(), extra.begin(), extra.end());
    return environment;
}

void redirect(int fd, const std::optional<std::string>& path, int flags, int pipe_end, bool closed)
{
    if (closed) {
        close(fd);
    } else if (path) {
        const int file = open(path->c_str(), flags, 0644);
        if (file < 0) {
            _exit(126);
        }
        dup2(file, fd);
        close(file);
    } else {
        dup2(pipe_end, fd);
    }
}

// Writes to the child's standard input and reads both of its outputs at once,
// so that neither side can block the other.
void exchange(int to_child, int from_out, int from_err, const std::string& input,
              std::uint64_t repeats, Outcome& run)
{
    std::size_t written = 0;
    if (to_child >= 0 && input.empty()) {
        close(to_child);
        to_child = -1;
    }
    std::array<char, 65536> buffer{};
    while (to_child >= 0 || from_out >= 0 || from_err >= 0) {
        std::array<pollfd, 3> fds{
            {{to_child, POLLOUT, 0}, {from_out, POLLIN, 0}, {from_err, POLLIN, 0}}};
        const int ready = poll(fds.data(), fds.size(), 60000);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return; // stuck: the caller kills it
        }
        if (to_child >= 0 && fds[0].revents != 0) {
            const ssize_t n = write(to_child, input.data() + written, input.size() - written);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
            }
            if (n > 0 && written == input.size() && --repeats > 0) {
                written = 0;
            } else if (n < 0 || written == input.size()) {
                close(to_child); // done, or the program stopped reading
                to_child = -1;
            }
        }
        for (auto [index, fd, text] :
             {std::tuple{1, &from_out, &run.out}, std::tuple{2, &from_err, &run.err}}) {
            if (*fd >= 0 && fds[static_cast<std::size_t>(index)].revents != 0) {
                const ssize_t n = read(*fd, buffer.data(), buffer.size());
                if (n > 0) {
                    text->append(buffer.data(), static_cast<std::size_t>(n));
                } else {
                    close(*fd);
                    *fd = -1;
                }
            }
        }
    }
}

} // namespace

std::string program_path()
{
    if (const char* path = std::getenv("PITUUS_PROGRAM")) {
        return path;
    }
    return PITUUS_PROGRAM;
}

Outcome run_program(const RunOptions& options)
{
    (void)std::signal(SIGPIPE, SIG_IGN); // the program may stop reading before the input ends
    std::array<int, 2> in{};
    std::array<int, 2> out{};
    std::array<int, 2> err{};
    if (pipe2(in.data(), O_CLOEXEC) != 0 || pipe2(out.data(), O_CLOEXEC) != 0 ||
        pipe2(err.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> argv_strings{program_path()};
    argv_strings.insert(argv_strings.end(), options.arguments.begin(), options.arguments.end());
    std::vector<std::string> env_strings = child_environment(options.environment);
    std::vector<char*> argv = c_strings(argv_strings);
    std::vector<char*> envp = c_strings(env_strings);

    const pid_t pid = fork();
    if (pid == 0) {
        setsid(); // no controlling terminal
        // As a shell starts it (the tests themselves ignore SIGPIPE).
        (void)std::signal(SIGPIPE, options.ignore_sigpipe ? SIG_IGN : SIG_DFL);
        if (options.file_size_limit) {
            const rlimit limit{static_cast<rlim_t>(*options.file_size_limit),
                               static_cast<rlim_t>(*options.file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
            (void)std::signal(SIGXFSZ, SIG_IGN);
        }
        if (options.stack_limit) {
            const rlimit limit{static_cast<rlim_t>(*options.stack_limit),
                               static_cast<rlim_t>(*options.stack_limit)};
            setrlimit(RLIMIT_STACK, &limit);
        }
        redirect(STDIN_FILENO, options.stdin_path, O_RDONLY, in[0], options.close_stdin);
        redirect(STDOUT_FILENO, options.stdout_path, O_WRONLY | O_CREAT | O_TRUNC, out[1],
                 options.close_stdout);
        redirect(STDERR_FILENO, std::nullopt, 0, err[1], options.close_stderr);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (options.stdout_reader_gone) {
        close(out[0]);
        out[0] = -1;
    }
    Outcome run;
    const bool writes_input =
        !options.stdin_path && !options.close_stdin && !options.input_never_ends;
    exchange(writes_input ? in[1] : -1, out[0], err[0], options.input, options.input_repeats, run);
    if (!writes_input) {
        close(in[1]); // only now, when the program has closed its outputs
    }
    int status = 0;
    rusage usage{};
    // A run that hangs (a minute without output, or 5 s more after its
    // outputs closed) is killed, so that its test fails instead of hanging.
    siginfo_t ended{};
    for (int ms = 0; ms < 5000 && ended.si_pid != pid; ++ms) {
        if (waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            ended.si_pid != pid) {
            usleep(1000);
        }
    }
    if (ended.si_pid != pid) {
        kill(pid, SIGKILL);
    }
    wait4(pid, &status, 0, &usage);
    run.peak_rss_kib = usage.ru_maxrss;
    if (WIFEXITED(status)) {
        run.exit_status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
    return run;
}

std::vector<std::string> locale_environment(const std::string& locale)
{
    if (locale == "C" || locale == "C.UTF-8") {
        return {"LC_ALL=" + locale};
    }
    // Locales in other code pages are made once, in a folder of the test's own.
    static std::map<std::string, std::string> made;
    static const struct Folder {
        std::string path = [] {
            std::string pattern = "/tmp/pituus-locales-XXXXXX";
            if (mkdtemp(pattern.data()) == nullptr) {
                throw std::runtime_error("mkdtemp failed");
            }
            return pattern;
        }();
        Folder() = default;
        Folder(const Folder&) = delete;
        Folder& operator=(const Folder&) = delete;
        ~Folder() { std::filesystem::remove_all(path); }
    } folder_made;
    const std::string& folder = folder_made.path;
    if (!made.contains(locale)) {
        const std::string charmap = locale.substr(locale.find('.') + 1);
        const std::string source = locale.substr(0, locale.find('.'));
        const std::string command = "localedef -i " + source + " -f " + charmap + " " + folder +
                                    "/" + locale + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) { // NOLINT(cert-env33-c): a fixed command of our own
            throw std::runtime_error("could not make the locale " + locale + ": " + command);
        }
        made[locale] = folder;
    }
    return {"LOCPATH=" + folder, "LC_ALL=" + locale};
}
