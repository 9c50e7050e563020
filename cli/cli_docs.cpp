#include "cli_docs.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "audio_format.h"
#include "effect_lookup.h"
#include "plugin/effect_catalogue.h"

namespace orve::cli {
namespace {

std::vector<const CLI::Option*> Shown(const CLI::App& app) {
    return app.get_options([](const CLI::Option* o) { return !o->get_group().empty(); });
}

// What a value of the option is: its type name, or for a positional left at
// the default "TEXT" its own name (EFFECT, DIR).
std::string Kind(const CLI::Option* o) {
    return o->get_positional() && o->get_type_name() == "TEXT" ? o->get_name() : o->get_type_name();
}

bool IsFlag(const CLI::Option* o) { return !o->get_positional() && o->get_type_name().empty(); }

// Text for roff: backslashes and hyphens escaped, no line starting with a
// control character.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string OptionNames(const CLI::Option* o) {
    std::string names;
    for (const std::string& s : o->get_snames()) names += (names.empty() ? "" : ", ") + ("\\fB\\-" + s + "\\fR");
    for (const std::string& l : o->get_lnames())
        names += (names.empty() ? "" : ", ") + ("\\fB\\-\\-" + Roff(l) + "\\fR");
    if (!IsFlag(o)) names += " \\fI" + Roff(o->get_type_name()) + "\\fR";
    return names;
}

std::string Synopsis(const CLI::App& command) {
    std::string line = "\\fBorve " + Roff(command.get_name()) + "\\fR";
    for (const CLI::Option* o : Shown(command)) {
        if (o->get_positional()) {
            const std::string name = "\\fI" + Roff(o->get_name()) + "\\fR";
            line += " " + (o->get_required() ? name : "[" + name + "]");
            if (o->get_items_expected_max() > 1) line += "...";
        } else if (o->get_required()) {
            const std::string name = o->get_snames().empty() ? "\\-\\-" + Roff(o->get_lnames().front())
                                                              : "\\-" + o->get_snames().front();
            line += " \\fB" + name + "\\fR \\fI" + Roff(o->get_type_name()) + "\\fR";
        }
    }
    return line + " [\\fIoptions\\fR]";
}

// Words that complete an option of this type name ("" when any text will do).
std::string CompletionWords(const std::string& typeName) {
    if (typeName.find('|') != std::string::npos) {
        std::string words = typeName;
        std::replace(words.begin(), words.end(), '|', ' ');
        return words;
    }
    std::string words;
    if (typeName == "EFFECT") {
        for (const EffectEntry& e : OfferedEffects()) {
            const std::string full = Normalised(e.Text());
            const size_t dash = full.find('-');
            words += (words.empty() ? "" : " ") + full;
            if (dash != std::string::npos) words += " " + full.substr(dash + 1);
        }
    } else if (typeName == "TYPE") {
        for (const std::string& w : ContainerWords()) words += (words.empty() ? "" : " ") + w;
    }
    return words;
}

// The bash action that completes a value of this type name.
std::string CompletionAction(const std::string& typeName) {
    if (typeName == "DIR") return "COMPREPLY=($(compgen -d -- \"$cur\"))";
    if (typeName == "FILE") return "COMPREPLY=($(compgen -f -- \"$cur\"))";
    const std::string words = CompletionWords(typeName);
    if (words.empty()) return "COMPREPLY=()";
    return "COMPREPLY=($(compgen -W \"" + words + "\" -- \"$cur\"))";
}

}  // namespace

std::string ManPage(const CLI::App& constApp, const std::string& version) {
    CLI::App& app = const_cast<CLI::App&>(constApp);
    std::ostringstream m;
    m << ".TH ORVE 1 \"\" \"orve " << version << "\" \"User Commands\"\n"
      << ".SH NAME\norve \\- " << Roff("ORVE Studio's effects on audio files") << "\n"
      << ".SH SYNOPSIS\n";
    for (const CLI::App* command : app.get_subcommands({})) m << Synopsis(*command) << "\n.br\n";
    m << "\\fBorve \\-\\-version\\fR | \\fB\\-\\-help\\fR\n"
      << ".SH DESCRIPTION\n"
      << Roff("orve runs audio files through the ORVE Studio plug-in's own audio path: the same effects, "
              "presets, knobs, output gain and channel switches, block by block. It reads and writes every "
              "container libsndfile knows; each failure is one line on stderr starting with \"orve: \".")
      << "\n.SH COMMANDS\n";
    for (const CLI::App* command : app.get_subcommands({})) {
        m << ".SS " << Roff(command->get_name()) << "\n" << Roff(command->get_description()) << "\n";
        for (const CLI::Option* o : Shown(*command)) {
            if (o->get_positional()) {
                m << ".TP\n\\fI" << Roff(o->get_name()) << "\\fR\n" << Roff(o->get_description()) << "\n";
                continue;
            }
            m << ".TP\n" << OptionNames(o) << "\n" << Roff(o->get_description()) << "\n";
        }
    }
    m << ".SH EFFECTS\nEFFECT is an id, the name or the name without its family prefix (spaces and case do not "
         "matter), or a unique beginning of either:\n.RS\n.nf\n";
    for (const EffectEntry& e : OfferedEffects()) m << EffectNumber(e.id) << "\t" << Roff(e.Text()) << "\n";
    m << ".fi\n.RE\n"
      << ".SH CONTAINERS\nThe output's container follows OUT's extension, or \\fB\\-t\\fR:\n"
      << Roff([] {
             std::string words;
             for (const std::string& w : ContainerWords()) words += (words.empty() ? "" : ", ") + w;
             return words;
         }())
      << ".\n"
      << ".SH EXIT STATUS\n0 on success; 1 when a file could not be processed (in a batch: when any could not); "
         "2 for a command line orve does not understand; 128 + N when stopped by signal N (SIGINT, SIGTERM, "
         "SIGHUP, SIGQUIT, SIGPIPE), leaving no partial output file behind.\n"
      << ".SH ENVIRONMENT\n.TP\n.B XDG_CONFIG_HOME\n"
      << Roff("Where --remember keeps the settings record (orve-studio/ORVESETTING); ~/.config without it.")
      << "\n.TP\n.B TMPDIR\n"
      << Roff("Where a WAV (or other seeking container) bound for a pipe is assembled; /tmp without it.")
      << "\n.SH EXAMPLES\n.nf\n"
      << Roff("orve process speech.wav clean.flac -e denoise --snap-noise 0") << "\n"
      << Roff("orve process take.wav - -t au -e \"level tuning\" -g 6 | aplay") << "\n"
      << Roff("orve process archive/ --out-dir restored/ -e declick -j 4 --json > report.jsonl") << "\n"
      << ".fi\n";
    return m.str();
}

std::string BashCompletion(const CLI::App& constApp) {
    CLI::App& app = const_cast<CLI::App&>(constApp);
    std::ostringstream b;
    std::string commands;
    for (const CLI::App* command : app.get_subcommands({})) commands += (commands.empty() ? "" : "|") + command->get_name();
    b << "# bash completion for orve; written by orve itself at build time.\n"
      << "_orve() {\n"
      << "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command= i\n"
      << "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
      << "        case ${COMP_WORDS[i]} in " << commands << ") command=${COMP_WORDS[i]}; break ;; esac\n"
      << "    done\n"
      << "    case $command in\n"
      << "    '')\n"
      << "        COMPREPLY=($(compgen -W \"--help --version " << [&] {
             std::string words;
             for (const CLI::App* c : app.get_subcommands({})) words += (words.empty() ? "" : " ") + c->get_name();
             return words;
         }() << "\" -- \"$cur\"))\n"
      << "        ;;\n";
    for (const CLI::App* command : app.get_subcommands({})) {
        std::string options;
        std::string positional = "COMPREPLY=()";
        b << "    " << command->get_name() << ")\n        case $prev in\n";
        for (const CLI::Option* o : Shown(*command)) {
            if (o->get_positional()) {
                positional = CompletionAction(Kind(o));
                continue;
            }
            std::string names;
            for (const std::string& s : o->get_snames()) {
                names += (names.empty() ? "" : "|") + ("-" + s);
                options += (options.empty() ? "-" : " -") + s;
            }
            for (const std::string& l : o->get_lnames()) {
                names += (names.empty() ? "" : "|") + ("--" + l);
                options += (options.empty() ? "--" : " --") + l;
            }
            if (!IsFlag(o)) b << "        " << names << ") " << CompletionAction(o->get_type_name()) << "; return ;;\n";
        }
        b << "        esac\n"
          << "        if [[ $cur == -* ]]; then\n"
          << "            COMPREPLY=($(compgen -W \"" << options << "\" -- \"$cur\"))\n"
          << "        else\n"
          << "            " << positional << "\n"
          << "        fi\n"
          << "        ;;\n";
    }
    b << "    esac\n"
      << "}\n"
      << "complete -o filenames -F _orve orve\n";
    return b.str();
}

}  // namespace orve::cli
