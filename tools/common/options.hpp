// Command lines of the kit's example programs and board tools, one contract for all: an option's
// value is the next word, integers are decimal over the whole word and within a range, refusals
// read "name: what: reason" followed by the usage on stderr (status 2), --help prints the usage
// on stdout (status 0). name is the program's basename.
#pragma once

#include <cstdio>

namespace tool {

enum class int_status { ok, missing, not_decimal, out_of_range };

// text as a decimal integer within [lo, hi]: an optional '-' and digits making up the whole word
// (no '+', no spaces, no other base). out is written only on ok.
int_status parse_int(const char* text, long lo, long hi, long& out);

// The last part of argv[0], or fallback when the program was started without one.
const char* program_name(int argc, char* const* argv, const char* fallback);

// Walks a command line word by word: each test looks at the current word and consumes it when it
// matches. Typical use:
//   while (cl.more()) {
//       if (cl.flag("--simulate-turn")) { ... }
//       else if (cl.integer("--count", 0, 1000, v)) { ... }
//       else { cl.unknown(); }
//   }
//   if (cl.stopped()) { return cl.exit_status(); }
class command_line {
  public:
    // usage: what follows "usage: <name> ", one or more lines each ending in '\n'.
    command_line(int argc, char* const* argv, const char* fallback_name, const char* usage);

    const char* name() const { return name_; }
    // True while words are left and the command line has not stopped.
    bool more() const { return !stopped() && next_ < argc_; }
    // The current word (nullptr when none is left).
    const char* current() const { return next_ < argc_ ? argv_[next_] : nullptr; }

    // Consumes the current word when it is flag.
    bool flag(const char* flag);
    // Consumes the current word when it is option, and the value after it, which must satisfy
    // parse_int(lo, hi) or the command line is refused. True when the option was there; out is
    // written only for a good value.
    bool integer(const char* option, long lo, long hi, long& out);
    // Consumes the current word, whatever it is (a positional word).
    const char* word();
    // The current word is none the program knows: --help prints the usage on stdout and stops with
    // status 0; anything else is refused as an unknown option.
    void unknown();
    // Stops with status 2: "name: what: reason" and the usage on stderr.
    void refuse(const char* what, const char* reason);

    bool stopped() const { return status_ >= 0; }
    // 0 after --help, 2 after a refusal (only meaningful once stopped()).
    int exit_status() const { return status_; }
    void print_usage(std::FILE* out) const;

  private:
    int argc_;
    char* const* argv_;
    const char* name_;
    const char* usage_;
    int next_ = 1;
    int status_ = -1;
};

// A tool's end when the board has no working magnetometer: prints "name: no magnetometer: reason;
// run compass-doctor to see what the board has" on stderr, reason being strerror(error) (or a
// plain statement when error is 0, unknown), and returns the exit status 1.
int no_magnetometer(const char* name, int error);
// The same with the reason given in words.
int no_magnetometer_because(const char* name, const char* reason);

}  // namespace tool
