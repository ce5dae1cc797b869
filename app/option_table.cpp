#include "app/option_table.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace ostrivane {

namespace {

bool takesValue(const OptionRow& row) {
    return !row.value.empty();
}

bool isOperand(const OptionRow& row) {
    return !row.names.starts_with('-');
}

bool hasName(const OptionRow& row, std::string_view name) {
    std::string_view names = row.names;
    while (!names.empty()) {
        const auto comma = names.find(", ");
        if (names.substr(0, comma) == name) {
            return true;
        }
        names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 2);
    }
    return false;
}

// The arguments read so far: the first problem among them, and whether the
// options have ended ("--") or the reading has (a row that ends it).
class Reading {
  public:
    Reading(const OptionTable& table, const OptionWords& words) : m_table(table), m_words(words) {}

    // Reads `arg`; true when its value was `next`, the argument after it.
    bool argument(const std::string& arg, const std::string* next) {
        if (m_operandsOnly || arg.size() < 2 || arg.front() != '-') {
            operand(arg);
        } else if (arg == "--" && m_words.doubleDashEndsOptions) {
            m_operandsOnly = true;
        } else if (const OptionRow* row = named(arg)) {
            return whole(*row, arg, next);
        } else if (arg.starts_with("--")) {
            joinedLong(arg);
        } else {
            return joinedShort(arg, next);
        }
        return false;
    }

    bool ended() const { return m_ended; }
    OptionProblem first() const { return m_first; }

  private:
    const OptionRow* named(std::string_view name) const {
        for (const auto& section : m_table) {
            for (const auto& row : section.rows) {
                if (!isOperand(row) && hasName(row, name)) {
                    return &row;
                }
            }
        }
        return nullptr;
    }

    void note(OptionProblem problem) {
        if (problem && !m_first) {
            m_first = std::move(problem);
        }
    }

    void operand(const std::string& arg) {
        for (const auto& section : m_table) {
            for (const auto& row : section.rows) {
                if (isOperand(row)) {
                    note(row.read(arg));
                    return;
                }
            }
        }
        note(m_words.unknown(arg));
    }

    void flag(const OptionRow& row) {
        note(row.read(std::string()));
        m_ended = row.endsReading;
    }

    // An option that is not one: unknown, or given a value it cannot take.
    void notAnOption(const std::string& arg) {
        note(arg.find('=') == std::string::npos ? m_words.unknown(arg) : m_words.takesNoValue(arg));
    }

    // "--name" or "-n" alone: a flag, or an option whose value is the next argument.
    bool whole(const OptionRow& row, const std::string& arg, const std::string* next) {
        if (!takesValue(row)) {
            flag(row);
        } else if (next == nullptr) {
            note(m_words.needsValue(arg));
        } else {
            note(row.read(*next));
            return true;
        }
        return false;
    }

    // "--name=VALUE"; a flag given a value is a problem.
    void joinedLong(const std::string& arg) {
        const auto equals = arg.find('=');
        const OptionRow* row = equals == std::string::npos ? nullptr : named(arg.substr(0, equals));
        if (row != nullptr && takesValue(*row)) {
            note(row->read(arg.substr(equals + 1)));
        } else {
            notAnOption(arg);
        }
    }

    // "-nVALUE"; or "-fx", a flag and what follows it as another argument, "-x".
    bool joinedShort(const std::string& arg, const std::string* next) {
        const OptionRow* row = named(arg.substr(0, 2));
        if (row == nullptr) {
            notAnOption(arg);
        } else if (takesValue(*row)) {
            note(row->read(arg.substr(2)));
        } else {
            flag(*row);
            return !m_ended && argument("-" + arg.substr(2), next);
        }
        return false;
    }

    const OptionTable& m_table;
    const OptionWords& m_words;
    bool m_operandsOnly = false;
    bool m_ended = false;
    OptionProblem m_first;
};

// The words begin two columns after the widest names, at most in this column;
// names wider than it leave their words to the next line.
constexpr std::size_t kWordsColumn = 23;
constexpr std::size_t kIndent = 2;

std::string label(const OptionRow& row) {
    return takesValue(row) ? row.names + " " + row.value : row.names;
}

std::string rowUsage(const OptionRow& row, std::size_t column) {
    std::string text(kIndent, ' ');
    text += label(row);
    if (text.size() < column) {
        text.resize(column, ' ');
    } else {
        text += '\n' + std::string(column, ' ');
    }
    for (const char c : row.help) {
        text += c;
        if (c == '\n') {
            text.append(column, ' ');
        }
    }
    return text + '\n';
}

}  // namespace

std::string optionName(const OptionRow& row) {
    const auto comma = row.names.rfind(' ');
    return comma == std::string::npos ? row.names : row.names.substr(comma + 1);
}

OptionProblem readOptions(const std::vector<std::string>& args, const OptionTable& table,
                          const OptionWords& words) {
    Reading reading(table, words);
    for (std::size_t i = 0; i < args.size() && !reading.ended(); ++i) {
        if (reading.argument(args[i], i + 1 < args.size() ? &args[i + 1] : nullptr)) {
            ++i;
        }
    }
    return reading.first();
}

std::string optionUsage(const OptionTable& table) {
    std::size_t column = kIndent;
    for (const auto& section : table) {
        for (const auto& row : section.rows) {
            if (!row.help.empty() && kIndent + label(row).size() < kWordsColumn) {
                column = std::max(column, std::min(kIndent + label(row).size() + 2, kWordsColumn));
            }
        }
    }
    std::string text;
    for (const auto& section : table) {
        text += text.empty() ? "" : "\n";
        text += section.heading.empty() ? "" : section.heading + "\n";
        for (const auto& row : section.rows) {
            text += row.help.empty() ? "" : rowUsage(row, column);
        }
    }
    return text;
}

}  // namespace ostrivane
