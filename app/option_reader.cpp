#include "app/option_reader.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstddef>

namespace ostrivane {

namespace {

// A bare flag's value in CLI11: no argument can hold it, so "--flag=VALUE" is
// told from "--flag".
const std::string kBareFlag{"\x01"};
// CLI11 reads "--name=" as "--name" and takes the next argument as its value;
// an empty value is given to it apart, and a flag's as this.
const std::string kEmptyFlagValue{"\x02"};

// One option read in the order of the arguments. CLI11 keeps what it does not
// know (other arguments and unknown options) apart, in order; `extrasBefore`
// places the option among them.
struct ReadOption {
    const OptionRow* row;
    std::string value;
    std::size_t extrasBefore;
};

class Reading {
  public:
    Reading(const ReadValue& positional, const OptionWords& words)
        : m_positional(positional), m_words(words) {}

    void option(const ReadOption& read) {
        if (!read.row->takesValue && read.value != kBareFlag) {
            const auto value = read.value == kEmptyFlagValue ? std::string() : read.value;
            note(m_words.takesNoValue(primaryName(*read.row) + "=" + value));
        } else {
            note(read.row->read(read.row->takesValue ? read.value : std::string()));
        }
    }

    void extra(const std::string& argument) {
        if (m_optionsEnded) {
            note(m_positional(argument));
        } else if (argument == "--" && m_words.doubleDashEndsOptions) {
            m_optionsEnded = true;
        } else if (argument.size() > 1 && argument.front() == '-') {
            note(argument.find('=') == std::string::npos ? m_words.unknown(argument)
                                                         : m_words.takesNoValue(argument));
        } else {
            note(m_positional(argument));
        }
    }

    void note(OptionProblem problem) {
        if (problem && !m_first) {
            m_first = std::move(problem);
        }
    }

    OptionProblem first() const { return m_first; }

    static std::string primaryName(const OptionRow& row) {
        const auto comma = row.names.rfind(',');
        return comma == std::string::npos ? row.names : row.names.substr(comma + 1);
    }

  private:
    const ReadValue& m_positional;
    const OptionWords& m_words;
    bool m_optionsEnded = false;
    OptionProblem m_first;
};

bool hasName(const OptionRow& row, std::string_view name) {
    std::string_view names = row.names;
    while (!names.empty()) {
        const auto comma = names.find(',');
        if (names.substr(0, comma) == name) {
            return true;
        }
        names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
    }
    return false;
}

const OptionRow* rowNamed(const std::vector<OptionRow>& rows, std::string_view name) {
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [name](const OptionRow& r) { return hasName(r, name); });
    return row == rows.end() ? nullptr : &*row;
}

// The arguments as CLI11 takes them, last first: "--name=" becomes "--name" ""
// for an option with a value, "--name=" kEmptyFlagValue for a flag.
std::vector<std::string> forCli11(const std::vector<std::string>& args,
                                  const std::vector<OptionRow>& rows, const OptionWords& words) {
    std::vector<std::string> taken;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const OptionRow* row = rowNamed(rows, std::string_view(arg).substr(0, arg.size() - 1));
        if (arg == "--" && words.doubleDashEndsOptions) {
            taken.insert(taken.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        if (const OptionRow* exact = rowNamed(rows, arg); exact && exact->takesValue) {
            taken.push_back(arg);  // its value follows, as it stands
            if (i + 1 < args.size()) {
                taken.push_back(args[++i]);
            }
        } else if (arg.size() < 3 || arg.back() != '=' || row == nullptr) {
            taken.push_back(arg);
        } else if (row->takesValue) {
            taken.push_back(arg.substr(0, arg.size() - 1));
            taken.emplace_back();
        } else {
            taken.push_back(arg + kEmptyFlagValue);
        }
    }
    return {taken.rbegin(), taken.rend()};
}

}  // namespace

OptionProblem readOptions(const std::vector<std::string>& args, const std::vector<OptionRow>& rows,
                          const ReadValue& positional, const OptionWords& words) {
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    std::vector<ReadOption> read;
    for (const auto& row : rows) {
        CLI::Option* option = row.takesValue ? app.add_option(row.names)->expected(1)
                                             : app.add_flag(row.names + "{" + kBareFlag + "}");
        option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)->trigger_on_parse();
        option->each([&read, &row, &app](const std::string& value) {
            read.push_back({&row, value, app.remaining().size()});
        });
    }
    std::optional<std::string> missingValue;
    auto reversed = forCli11(args, rows, words);
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError&) {
        // A value is taken whatever it looks like, so only an option that is
        // the last argument can lack it.
        missingValue = args.empty() ? std::string() : args.back();
    }
    Reading reading(positional, words);
    const auto extras = app.remaining();
    std::size_t nextExtra = 0;
    for (const auto& option : read) {
        for (; nextExtra < option.extrasBefore && nextExtra < extras.size(); ++nextExtra) {
            reading.extra(extras[nextExtra]);
        }
        reading.option(option);
    }
    for (; nextExtra < extras.size(); ++nextExtra) {
        reading.extra(extras[nextExtra]);
    }
    if (missingValue) {
        reading.note(words.needsValue(*missingValue));
    }
    return reading.first();
}

}  // namespace ostrivane
