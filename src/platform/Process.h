#pragma once
// Starting external programs. A program is started directly with an argument
// vector, never through a command interpreter, so no text that reaches the
// arguments (a workbook value, say) can ever be run as a command.

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace korvane {

// Starts `argv[0]` with the arguments `argv` and waits, without a time limit,
// until it has ended. `argv[0]` is a path to an executable file or a script
// with a "#!" line; a bare name without "/" is looked up in PATH. Returns
// false with a message naming the program when it cannot be started; the
// program's own exit status is given in `exitStatus` (128 + signal number when
// a signal ended it).
// The program runs in a process group of its own that dies with Korvane
// (the program itself at once; what it left running when the run ends).
bool RunProgramAndWait(const std::vector<std::string>& argv, int& exitStatus, std::string& error);

// Ends every program being waited for, on any thread, with its process
// group, at once. Safe to call from a signal handler.
void KillRunningPrograms();

// Process groups that programs left running (a server started in the
// background, say), to be ended later. Any number of them; a group whose
// last process has ended is forgotten when room is needed. add() comes from
// ordinary code; endAll() may also run in a signal handler.
class ProcessGroups {
public:
    ProcessGroups() = default;
    ~ProcessGroups();
    ProcessGroups(const ProcessGroups&) = delete;
    ProcessGroups& operator=(const ProcessGroups&) = delete;

    void add(int group);
    // Ends every group (SIGKILL) and forgets it.
    void endAll();

private:
    static constexpr std::size_t kSlots = 64;
    struct Chunk {
        std::atomic<int> slots[kSlots] = {};
        std::atomic<Chunk*> next{nullptr};
    };
    bool place(int group);
    void forgetEmpty();
    Chunk head_;
};

// The programs of one thread of calculations: a run with several workers
// ends the program of one worker (a calculation that ran out of time) and
// leaves the others alone. A thread names its watch with WatchProgramsOf;
// from then on the program it waits for is recorded there.
class ProgramWatch {
public:
    // Ends the program being waited for on the watched thread, with its
    // process group, at once; any thread may call it.
    void killRunning();
    // Ends what the watched thread's programs left running in their groups.
    void endStarted();

private:
    friend bool RunProgramAndWait(const std::vector<std::string>&, int&, std::string&);
    void started(int group);
    void ended(int group, bool lingering);
    std::atomic<int> running_{0};
    ProcessGroups groups_;
};
// The calling thread's programs are recorded in `watch` (null: no longer).
void WatchProgramsOf(ProgramWatch* watch);
// Ends whatever the programs started so far left running in their process
// groups (a server started in the background, say). Safe to call from a
// signal handler.
void EndStartedPrograms();
// As EndStartedPrograms, when a run ends, and also ends what the run's
// programs started that moved to another process group; returns what they
// started that left this process's session (a daemon, setsid) and so keeps
// running, each as its command line and process id: "sleep 3002 (PID 1234)".
// Empty when there is none.
std::vector<std::string> EndRunPrograms();

// Splits an argument text into words: blanks (spaces and tabs) separate words;
// a pair of double quotes groups blanks into a word and is itself removed
// ("a b" c -> [a b], [c]); "" gives an empty word. An unclosed quote runs to
// the end of the text. A bracketed name holds together like a quoted part,
// brackets kept ([my var].csv -> [[my var].csv]), so it can be replaced after
// the split; a "[" without its "]" is an ordinary character.
std::vector<std::string> SplitWords(const std::string& text);

}  // namespace korvane
