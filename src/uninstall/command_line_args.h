// The uninstaller's command-line tokenizer: arguments separated by white space, a
// leading double quote opening an argument that only a quote followed by white space
// or by the end closes. There is no escape character.
#pragma once

#include <cstddef>
#include <vector>

// Splits the zero-terminated `text` in place: writes a zero byte at the end of each
// argument and appends a pointer to each argument's start to `arguments`. Never reads
// past the terminating zero. Trailing white space gives one final empty argument.
void SplitArgumentsInPlace(char* text, std::vector<const char*>& arguments);

// The arguments of a command line, held in a private copy that lives as long as the
// object. A null command line means the process's own; without memory for the copy
// the list is empty.
class CommandLineArgs {
public:
    explicit CommandLineArgs(const char* commandLine);
    CommandLineArgs(const CommandLineArgs&) = delete;
    CommandLineArgs& operator=(const CommandLineArgs&) = delete;

    size_t Count() const { return arguments_.size(); }
    // The argument at `index`; null past the end.
    const char* operator[](size_t index) const { return index < arguments_.size() ? arguments_[index] : nullptr; }

    // The private copy (the tokenizer's zero bytes included) and its size with the
    // terminating zero: every argument lies inside it.
    const char* Copy() const { return copy_.data(); }
    size_t CopySize() const { return copy_.size(); }

private:
    std::vector<char> copy_;
    std::vector<const char*> arguments_;
};
