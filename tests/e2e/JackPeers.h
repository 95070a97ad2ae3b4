#pragma once

// A private JACK server and peer programs around it, for tests against real MIDI ports.

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace JackPeers {

// A child process started with its standard input on a pipe and its output in a file.
class Process {
public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() { stop(); }

    bool start(const std::vector<std::string>& args, const std::string& outputFile = "") {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        posix_spawn_file_actions_addopen(&actions, 1,
                                         outputFile.empty() ? "/dev/null" : outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        const int spawned = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[0]);
        if (spawned != 0) {
            close(fds[1]);
            pid_ = -1;
            return false;
        }
        input_ = fds[1];
        return true;
    }
    // One line to the child's standard input.
    void say(const std::string& line) {
        const std::string text = line + "\n";
        if (input_ >= 0)
            static_cast<void>(write(input_, text.data(), text.size()));
    }
    // Closes the child's input and waits for it to end by itself (true), or stops it.
    bool finish(int timeoutMillis = 5000) {
        closeInput();
        for (int waited = 0; pid_ > 0 && waited < timeoutMillis; waited += 10) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return true;
            }
            usleep(10000);
        }
        stop();
        return false;
    }
    void stop() {
        closeInput();
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    bool running() const { return pid_ > 0; }

private:
    void closeInput() {
        if (input_ >= 0)
            close(input_);
        input_ = -1;
    }
    pid_t pid_ = -1;
    int input_ = -1;
};

// Runs a command to its end; its exit status.
inline int run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A JACK server of its own (dummy driver, 48 kHz, 256-frame periods) under a name nobody else
// uses; JACK_DEFAULT_SERVER names it for every client of this process and its children.
class Server {
public:
    Server() {
        static int count = 0;
        name_ = "corvane-test-" + std::to_string(getpid()) + "-" + std::to_string(++count);
    }
    const std::string& name() const { return name_; }

    bool start() {
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        if (!jackd_.start({"jackd", "-n", name_, "-d", "dummy", "-r", "48000", "-p", "256"},
                          "/dev/null"))
            return false;
        return run({"jack_wait", "-s", name_, "-w", "-t", "10"}) == 0;
    }
    void stop() { jackd_.stop(); }

private:
    std::string name_;
    Process jackd_;
};

// A program on the RtMidi JACK API: client <name> with an output port "out" sending each hex
// line it reads, and an input port "in" printing what arrives, one message a line in hex.
inline const char* kPeerScript = R"(
import sys, time, rtmidi
name = sys.argv[1]
out = rtmidi.MidiOut(rtmidi.API_UNIX_JACK, name=name)
out.open_virtual_port("out")
inp = rtmidi.MidiIn(rtmidi.API_UNIX_JACK, name=name + "-in")
inp.ignore_types(False, False, False)
def got(event, data):
    print(" ".join("%02X" % b for b in event[0]), flush=True)
inp.set_callback(got)
inp.open_virtual_port("in")
print("ready", flush=True)
for line in sys.stdin:
    data = bytes.fromhex(line.strip())
    if data:
        out.send_message(list(data))
time.sleep(0.2)
)";

// A JACK client of the test's own that looks at the graph.
class Probe {
public:
    ~Probe() { close(); }
    // Waits until the port has a connection.
    bool waitConnected(const std::string& port, int timeoutMillis = 5000) {
        if (!client_)
            client_ = jack_client_open("probe", JackNoStartServer, nullptr);
        for (int waited = 0; client_ && waited < timeoutMillis; waited += 5) {
            jack_port_t* found = jack_port_by_name(client_, port.c_str());
            if (found && jack_port_connected(found) > 0)
                return true;
            usleep(5000);
        }
        return false;
    }
    void close() {
        if (client_)
            jack_client_close(client_);
        client_ = nullptr;
    }

private:
    jack_client_t* client_ = nullptr;
};

inline std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The hex bytes of every message a jack_midi_dump output lists, "90 3C 40" each.
inline std::vector<std::string> dumpedMessages(const std::string& path) {
    std::vector<std::string> messages;
    std::istringstream lines(readFile(path));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::istringstream words(line.substr(colon + 1));
        std::string word, message;
        while (words >> word && word.size() == 2 && isxdigit(word[0]) && isxdigit(word[1])) {
            for (char& c : word)
                c = static_cast<char>(toupper(c));
            message += (message.empty() ? "" : " ") + word;
        }
        if (!message.empty())
            messages.push_back(message);
    }
    return messages;
}

} // namespace JackPeers
