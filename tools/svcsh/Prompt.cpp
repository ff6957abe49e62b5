#include "Prompt.h"

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <editline/readline.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Interrupt.h"

namespace svcsh {

namespace {

// Whether a line may hold a secret even where the shell could not tell (a line that does not
// parse, say): every spelling of the secure string's type names one.
bool mentionsSecret(const std::string& line) {
    std::string lower;
    for (char c : line) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower.find("securestring") != std::string::npos;
}

class Prompt;
Prompt* active = nullptr;  // the one prompt the line editor's hooks serve

class Prompt {
  public:
    explicit Prompt(Shell& shell) : shell_(shell) {
        active = this;
        // The terminal's input of our own, that does not block: Ctrl-C empties the input queue,
        // so keys that poll() reported may be gone by the time they are read. Standard input
        // itself stays as it is for whoever shares it.
        const char* terminal = ttyname(STDIN_FILENO);
        if (terminal != nullptr) {
            keyboard_ = open(terminal, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        }
        if (keyboard_ < 0) {
            keyboard_ = STDIN_FILENO;
        }
        reader_ = std::thread([this] { read(); });
    }

    // Before anything else of the line editor's runs (reading the history initialises it).
    static void configureEditor() {
        // Ctrl-C is the shell's (Interrupt.h): the line editor's own handler would put the terminal
        // back into cooked mode and send the signal on to the whole process group.
        rl_catch_signals = 0;
        rl_getc_function = readKey;
        rl_attempted_completion_function = complete;
        // A member name starts after "/", an argument after "(".
        rl_basic_word_break_characters = " \t/(,";
    }
    ~Prompt() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
            lineDone_ = true;
        }
        changed_.notify_all();
        reader_.join();
        if (keyboard_ != STDIN_FILENO) {
            close(keyboard_);
        }
        active = nullptr;
    }

    // A line, or false at the end of input. Pumps the shell, and answers completions, while
    // waiting.
    bool next(std::string& line) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (completionAsked_) {
                const std::string typed = std::move(*completionAsked_);
                completionAsked_.reset();
                lock.unlock();
                std::vector<std::string> words = shell_.completions(typed);
                lock.lock();
                completions_ = std::move(words);
                completionDone_ = true;
                changed_.notify_all();
                continue;
            }
            if (ready_) {
                ready_ = false;
                line = std::move(line_);
                return true;
            }
            if (end_) {
                return false;
            }
            lock.unlock();
            shell_.pump();
            lock.lock();
            changed_.wait_for(lock, std::chrono::milliseconds(50),
                              [this] { return ready_ || end_ || completionAsked_.has_value(); });
        }
    }
    // The line given by next() has run; the reader may prompt again.
    void done() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lineDone_ = true;
        }
        changed_.notify_all();
    }

  private:
    // The line editor's source of keys: waits for one while looking at Ctrl-C, which ends the
    // line being edited (readline() then answers no line).
    static int readKey(FILE*) {
        for (;;) {
            if (takeInterrupt()) {
                active->interrupted_ = true;
                return EOF;
            }
            const int keyboard = active->keyboard_;
            pollfd input{keyboard, POLLIN, 0};
            if (poll(&input, 1, 100) <= 0) {
                continue;  // a time-out, or a signal: look at the flag again
            }
            unsigned char key = 0;
            const ssize_t n = ::read(keyboard, &key, 1);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                continue;  // Ctrl-C emptied the terminal's input after poll() saw some
            }
            if (n == 1 && key == 3) {  // Ctrl-C arriving as a key, where the terminal sends it
                active->interrupted_ = true;
                return EOF;
            }
            if (n == 1 && key == 4 && !active->typed_) {  // Ctrl-D at an untouched prompt
                return EOF;
            }
            if (n == 1) {
                active->typed_ = true;
                return key;
            }
            if (n == 0 || errno != EINTR) {
                return EOF;
            }
        }
    }

    // Completion runs on the reader thread, inside the line editor; the words come from the
    // dispatcher thread, which owns the services.
    static char** complete(const char* text, int start, int end) {
        rl_attempted_completion_over = 1;  // no file names
        Prompt& prompt = *active;
        // A command is followed by its arguments; a service or member name by "/" or "(".
        rl_completion_append_character = '\0';
        {
            std::unique_lock<std::mutex> lock(prompt.mutex_);
            prompt.completionAsked_ = std::string(rl_line_buffer, static_cast<std::size_t>(end));
            prompt.completionDone_ = false;
            prompt.changed_.notify_all();
            prompt.changed_.wait(lock,
                                 [&prompt] { return prompt.completionDone_ || prompt.stop_; });
        }
        const std::size_t typed = std::strlen(text);
        bool onlyCommands = true;
        for (const std::string& word : prompt.completions_) {
            if (word.compare(0, typed, text) == 0 && !Shell::isCommand(word)) {
                onlyCommands = false;
            }
        }
        if (onlyCommands && start == 0) {
            rl_completion_append_character = ' ';
        }
        return rl_completion_matches(text, nextWord);
    }
    static char* nextWord(const char* text, int state) {
        static std::size_t next = 0;
        if (state == 0) {
            next = 0;
        }
        const std::vector<std::string>& words = active->completions_;
        while (next < words.size()) {
            const std::string& word = words[next++];
            if (word.compare(0, std::strlen(text), text) == 0) {
                return strdup(word.c_str());
            }
        }
        return nullptr;
    }

    void read() {
        bool interruptedBefore = false;  // the last prompt ended by Ctrl-C
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return lineDone_; });
                if (stop_) {
                    return;
                }
                lineDone_ = false;
            }
            interrupted_ = false;
            typed_ = false;
            char* text = readline("svcsh> ");
            std::lock_guard<std::mutex> lock(mutex_);
            if (text == nullptr && interrupted_) {
                // Ctrl-C discards the line; a second one at the empty prompt it leaves, leaves.
                std::cout << std::endl;
                if (interruptedBefore && !typed_) {
                    end_ = true;
                } else {
                    interruptedBefore = true;
                    lineDone_ = true;
                }
            } else if (text == nullptr) {
                std::cout << std::endl;  // Ctrl-D: the shell's output starts on a line of its own
                end_ = true;
            } else {
                interruptedBefore = false;
                line_ = text;
                free(text);
                ready_ = true;
            }
            changed_.notify_all();
            if (end_) {
                return;
            }
        }
    }

    Shell& shell_;
    std::mutex mutex_;  // guards everything below but the reader thread
    std::condition_variable changed_;
    std::string line_;
    bool ready_ = false;    // line_ holds a line not yet taken
    bool end_ = false;      // the user ended the input
    bool lineDone_ = true;  // the last line has run
    bool stop_ = false;
    std::optional<std::string> completionAsked_;  // the line up to the cursor, to complete
    bool completionDone_ = false;
    std::vector<std::string> completions_;  // written by the dispatcher thread, under the mutex
    // The reader thread's own: the last key was Ctrl-C; a key was typed at this prompt.
    bool interrupted_ = false;
    bool typed_ = false;
    int keyboard_ = -1;  // where keys are read
    std::thread reader_;
};

}  // namespace

void runPrompt(Shell& shell) {
    const char* home = getenv("HOME");
    const std::string history = home ? std::string(home) + "/.svcsh_history" : "";
    Prompt::configureEditor();
    stifle_history(kHistoryLines);
    if (!history.empty()) {
        read_history(history.c_str());
    }
    catchInterrupts();
    std::cout << "svcsh: type 'help' for requests and commands, 'quit' to leave" << std::endl;
    {
        Prompt prompt(shell);
        std::string line;
        while (!shell.quitRequested() && prompt.next(line)) {
            // A Ctrl-C from now on belongs to the line (the prompt took those before it).
            shell.runLine(line);
            // Only lines that did not carry a secret are kept, here and in the file.
            if (!line.empty() && !shell.lastLineCarriedSecret() && !mentionsSecret(line)) {
                add_history(line.c_str());
            }
            takeInterrupt();  // the line it ended is over
            // After "quit" the reader must not prompt again: it would block in the line editor
            // and the prompt could not be ended.
            if (!shell.quitRequested()) {
                prompt.done();
            }
        }
    }
    if (!history.empty()) {
        // The file holds what the user typed: theirs alone to read.
        const mode_t previous = umask(077);
        // At most kHistoryLines entries: the history is stifled to that many.
        write_history(history.c_str());
        umask(previous);
        chmod(history.c_str(), S_IRUSR | S_IWUSR);
    }
}

}  // namespace svcsh
