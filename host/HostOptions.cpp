#include "host/HostOptions.h"

#include <charconv>

namespace host {

const char* HostUsage() {
  return "usage: tallyloom-host [options] [SCRIPT...]\n"
         "Loads the TallyLoom MMR plugin and plays scripted game sessions on virtual time.\n"
         "\n"
         "  --plugin PATH         plugin library (default: TallyLoomMMR beside this program)\n"
         "  --profile DIR         profile folder handed to the plugin as USERPROFILE\n"
         "  --clock YYYY-MM-DDTHH:MM:SS\n"
         "                        local wall-clock time at virtual time 0 (default: now)\n"
         "  --fps N               frames drawn per virtual second (default 60, 0: none)\n"
         "  --demo                run the built-in demo session (narrated)\n"
         "  --narrate             print each game event a script causes, marked as the host's\n"
         "  --render-thread       draw the settings tab on a second thread\n"
         "  --window              show the settings window in a real window\n"
         "  --help                this text\n"
         "SCRIPT is a file of commands, - for standard input (see docs/host.md).\n";
}

bool ParseHostOptions(const std::vector<std::string>& arguments, HostOptions* options, bool* help,
                      std::string* error) {
  *help = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    const auto value = [&](std::string* out) {
      if (i + 1 >= arguments.size()) {
        *error = arg + " needs a value";
        return false;
      }
      *out = arguments[++i];
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return false;
    } else if (arg == "--plugin") {
      if (!value(&options->plugin_path)) return false;
    } else if (arg == "--profile") {
      if (!value(&text)) return false;
      options->profile = text;
    } else if (arg == "--clock") {
      if (!value(&text)) return false;
      options->clock = text;
    } else if (arg == "--fps") {
      if (!value(&text)) return false;
      int fps = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), fps);
      if (ec != std::errc() || end != text.data() + text.size() || fps < 0 || fps > 100000) {
        *error = "--fps: bad frame rate \"" + text + "\"";
        return false;
      }
      options->fps = fps;
    } else if (arg == "--demo") {
      options->demo = true;
      options->narrate = true;
    } else if (arg == "--narrate") {
      options->narrate = true;
    } else if (arg == "--render-thread") {
      options->render_thread = true;
    } else if (arg == "--window") {
      options->window = true;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      *error = "unknown option " + arg;
      return false;
    } else {
      options->scripts.push_back(arg);
    }
  }
  return true;
}

}  // namespace host
