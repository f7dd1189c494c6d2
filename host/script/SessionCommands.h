// Commands about the session itself: virtual time, loading the plugin, its
// settings tab, the console, help and the end. Each is one struct;
// CommandParts.h says what a command is made of.
#pragma once

#include <fmt/format.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/TextLines.h"
#include "script/CommandParts.h"
#include "script/ScriptWords.h"
#include "sdk/model/Console.h"

namespace hostscript {

// `wait S`
struct WaitCommand {
  static constexpr Placeholder kPlaceholders[]{{"SECONDS", ArgumentKind::kSeconds}};
  static constexpr CommandHelp kHelp{"wait", "wait SECONDS",
                                     "advance virtual time: timers fire and frames are drawn",
                                     kPlaceholders};
  std::int64_t nanoseconds = 0;

  static bool Parse(Arguments& args, WaitCommand* out) {
    return args.ExpectCount(2) && args.Duration(1, &out->nanoseconds);
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    run.model().time().Advance(nanoseconds);
    return Outcome::kContinue;
  }

  bool operator==(const WaitCommand&) const = default;
};

// `plugin load`, `plugin unload`
struct PluginCommand {
  static constexpr CommandHelp kHelp{"plugin", "plugin load|unload",
                                     "unload the plugin as the host does, or load it again"};
  bool load = true;

  static bool Parse(Arguments& args, PluginCommand* out) {
    static constexpr std::array<Keyword<bool>, 2> kActions{{{"load", true}, {"unload", false}}};
    return args.ExpectCount(2) && args.Choice(1, kActions, "action", &out->load);
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    if (load) {
      if (!run.session().HasPlugin()) run.Tell("host: plugin load TallyLoomMMR");
      std::string error;
      return run.session().LoadPlugin(&error) ? Outcome::kContinue : run.Fail(error);
    }
    if (!run.session().HasPlugin()) return run.Fail("plugin unload: no plugin is loaded");
    run.Tell("host: plugin unload TallyLoomMMR");
    run.session().UnloadPlugin();
    return Outcome::kContinue;
  }

  bool operator==(const PluginCommand&) const = default;
};

// `settings`
struct SettingsCommand {
  static constexpr CommandHelp kHelp{"settings", "settings",
                                     "print what the plugin's settings tab shows"};

  static bool Parse(Arguments& args, SettingsCommand*) { return args.ExpectCount(1); }

  template <class Runner>
  Outcome Run(Runner& run) const {
    if (!run.session().HasTab()) {
      return run.Fail("settings: no plugin tab (the plugin is not loaded)");
    }
    std::string text;
    run.session().OnDrawingThread([&] { text = run.session().settings().DrawAndRead(); });
    std::string block;
    for (const std::string_view row : host::SplitLines(text)) {
      block.append("  ").append(row).append("\n");
    }
    run.Print(block);
    return Outcome::kContinue;
  }

  bool operator==(const SettingsCommand&) const = default;
};

// `click LABEL`
struct ClickCommand {
  static constexpr Placeholder kPlaceholders[]{{"LABEL", ArgumentKind::kWord}};
  static constexpr CommandHelp kHelp{
      "click", "click LABEL", "click the tab's checkbox or button with that label", kPlaceholders};
  std::string label{};

  static bool Parse(Arguments& args, ClickCommand* out) {
    if (!args.ExpectCount(2)) return false;
    out->label = args[1];
    return true;
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    run.Tell(fmt::format("settings: click \"{}\"", label));
    if (!run.session().HasTab()) return run.Fail("click: no plugin tab (the plugin is not loaded)");
    bool found = false;
    std::vector<std::string> labels;
    run.session().OnDrawingThread([&] {
      found = run.session().settings().Click(label);
      if (!found) labels = run.session().settings().WidgetLabels();
    });
    if (found) return Outcome::kContinue;
    std::string known;
    for (const std::string& each : labels) known += (known.empty() ? "" : ", ") + QuoteWord(each);
    return run.Fail(fmt::format("click: the tab has no widget labelled {}; its labels: {}",
                                QuoteWord(label), known));
  }

  bool operator==(const ClickCommand&) const = default;
};

// `screenshot FILE`; FILE is never empty.
struct ScreenshotCommand {
  static constexpr Placeholder kPlaceholders[]{{"FILE", ArgumentKind::kFile}};
  static constexpr CommandHelp kHelp{"screenshot", "screenshot FILE",
                                     "write the window as PNG (with --window)", kPlaceholders};
  std::string file{};

  static bool Parse(Arguments& args, ScreenshotCommand* out) {
    return args.ExpectCount(2) && args.FileName(1, &out->file);
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    bool written = false;
    std::string why;
    run.session().OnDrawingThread(
        [&] { written = run.session().settings().Screenshot(file, &why); });
    return written ? Outcome::kContinue : run.Fail("screenshot: " + why);
  }

  bool operator==(const ScreenshotCommand&) const = default;
};

// `help [COMMAND]`; an empty topic asks for every command.
struct HelpCommand {
  // Any word: a name that is no command may still be one of the console's.
  static constexpr Placeholder kPlaceholders[]{{"COMMAND", ArgumentKind::kWord}};
  static constexpr CommandHelp kHelp{
      "help", "help [COMMAND]", "the commands, or one command, with their usage", kPlaceholders};
  std::string topic{};

  static bool Parse(Arguments& args, HelpCommand* out) {
    if (args.size() > 2) return args.Usage();
    if (args.size() == 2) out->topic = args[1];
    return true;
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    std::string text;
    for (const CommandHelp& entry : CommandTable()) {
      if (!topic.empty() && entry.name != topic) continue;
      text += fmt::format("  {}\n      {}\n", entry.usage, entry.summary);
    }
    const sdkhost::Console& console = run.model().console();
    if (topic.empty()) {
      text = "Commands, one per line (# starts a comment; docs/host.md has the details):\n" + text +
             "Any other line is typed into the host console: a console variable alone prints "
             "its\nvalue, a variable and a number sets it, a command runs with its words.\n";
    } else if (text.empty()) {
      const bool command = console.HasCommand(topic);
      if (!command && !console.CvarExists(topic)) {
        return run.Fail(fmt::format("help: no command \"{}\" (help lists them)", topic));
      }
      text = fmt::format("  {}\n      a console {} of the plugin, typed into the host console\n",
                         topic, command ? "command" : "variable");
    }
    run.Print(text);
    return Outcome::kContinue;
  }

  bool operator==(const HelpCommand&) const = default;
};

// `quit`
struct QuitCommand {
  static constexpr CommandHelp kHelp{"quit", "quit", "end the session"};

  static bool Parse(Arguments& args, QuitCommand*) { return args.ExpectCount(1); }

  template <class Runner>
  Outcome Run(Runner&) const {
    return Outcome::kQuit;
  }

  bool operator==(const QuitCommand&) const = default;
};

// Any line whose first word is no command above, typed into the host console:
// whether it names a console variable or command is decided when it runs.
struct ConsoleCommand {
  std::vector<std::string> words{};

  template <class Runner>
  Outcome Run(Runner& run) const {
    std::string typed = "console: >";
    for (const std::string& word : words) typed += " " + word;
    run.Tell(typed);
    switch (run.model().console().TypeIntoConsole(words)) {
      case sdkhost::Console::Result::kDone:
        return Outcome::kContinue;
      case sdkhost::Console::Result::kUnknownName:
        return run.Fail(fmt::format("unknown command \"{}\"", words[0]));
      case sdkhost::Console::Result::kBadValue:
        break;
    }
    return run.Fail(fmt::format("{}: bad value (a console variable takes one number)", words[0]));
  }

  bool operator==(const ConsoleCommand&) const = default;
};

}  // namespace hostscript
