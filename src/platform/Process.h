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
    void ended();
    std::atomic<int> running_{0};
    static constexpr std::size_t kSlots = 64;
    std::atomic<int> groups_[kSlots] = {};
    std::atomic<std::size_t> next_{0};
};
// The calling thread's programs are recorded in `watch` (null: no longer).
void WatchProgramsOf(ProgramWatch* watch);
// Ends whatever the programs started so far left running in their process
// groups (a server started in the background, say). Called when a run ends.
// Safe to call from a signal handler.
void EndStartedPrograms();

// Splits an argument text into words: blanks (spaces and tabs) separate words;
// a pair of double quotes groups blanks into a word and is itself removed
// ("a b" c -> [a b], [c]); "" gives an empty word. An unclosed quote runs to
// the end of the text. A bracketed name holds together like a quoted part,
// brackets kept ([my var].csv -> [[my var].csv]), so it can be replaced after
// the split; a "[" without its "]" is an ordinary character.
std::vector<std::string> SplitWords(const std::string& text);

}  // namespace korvane
