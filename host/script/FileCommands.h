// Commands about the plugin's files: faults of the disk, and the desktop app
// holding a file open. Each is one struct; CommandParts.h says what a command
// is made of.
#pragma once

#include <fmt/format.h>

#include <string>

#include "host/HostPlatform.h"
#include "platform/testing/FaultInjectionEnv.h"
#include "script/CommandParts.h"

namespace hostscript {

// `fault mkdir|open|write|close|replace [always]`, `fault crash`, `fault clear`
struct FaultCommand {
  static constexpr CommandHelp kHelp{
      "fault", "fault mkdir|open|write|close|replace [always] | fault crash | fault clear",
      "the next (or every) such file operation fails; crash: the next write stores half its "
      "bytes and the process ends at once"};
  bool clear = false;  // `fault clear`: no more faults
  platform::FaultOp op = platform::FaultOp::kMkdir;
  bool always = false;  // without `always` the fault fires once

  static constexpr std::array<Keyword<platform::FaultOp>, 6> kOps{{
      {"mkdir", platform::FaultOp::kMkdir},
      {"open", platform::FaultOp::kOpen},
      {"write", platform::FaultOp::kWrite},
      {"close", platform::FaultOp::kClose},
      {"replace", platform::FaultOp::kReplace},
      {"crash", platform::FaultOp::kCrash},
  }};

  static bool Parse(Arguments& args, FaultCommand* out) {
    if (args.size() != 2 && args.size() != 3) return args.Usage();
    if (args[1] == "clear") {
      out->clear = true;
      return args.ExpectCount(2);
    }
    const Keyword<platform::FaultOp>* op = FindKeyword(kOps, args[1]);
    if (op == nullptr) {
      return args.Fail("unknown fault " + args.Shown(args[1]) + " (" + KeywordList(kOps) +
                       ", clear)");
    }
    out->op = op->value;
    if (args.size() == 3) {
      if (args[2] != "always")
        return args.Fail("expected \"always\" but got " + args.Shown(args[2]));
      if (out->op == platform::FaultOp::kCrash) return args.Fail("a crash happens once");
      out->always = true;
    }
    return true;
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    run.Tell(Story());
    if (clear) {
      run.faults().Clear();
    } else {
      run.faults().Fail(op, always);
    }
    return Outcome::kContinue;
  }

  std::string Story() const {
    if (clear) return "host: no more file faults";
    const char* step = "";
    switch (op) {
      case platform::FaultOp::kMkdir:
        step = "folder creation";
        break;
      case platform::FaultOp::kOpen:
        step = "file open";
        break;
      case platform::FaultOp::kWrite:
        step = "file write";
        break;
      case platform::FaultOp::kClose:
        step = "file close";
        break;
      case platform::FaultOp::kReplace:
        step = "file replace";
        break;
      case platform::FaultOp::kCrash:
        return "host: the game will die in the middle of the next file write";
    }
    return fmt::format("host: {} {} will fail", always ? "every" : "the next", step);
  }

  bool operator==(const FaultCommand&) const = default;
};

// `hold FILE none|read|write|all`: the desktop app opens FILE of the export
// folder for reading and keeps it open, letting others share it not at all,
// for reading, for writing only, or for reading, writing and deleting.
struct HoldCommand {
  static constexpr Placeholder kPlaceholders[]{{"FILE", ArgumentKind::kFile}};
  static constexpr CommandHelp kHelp{
      "hold", "hold FILE none|read|write|all",
      "the desktop app keeps FILE of the export folder open, sharing it so", kPlaceholders};
  std::string file{};
  host::HeldFile::Sharing sharing = host::HeldFile::Sharing::kAll;

  static bool Parse(Arguments& args, HoldCommand* out) {
    static constexpr std::array<Keyword<host::HeldFile::Sharing>, 4> kSharings{{
        {"none", host::HeldFile::Sharing::kNone},
        {"read", host::HeldFile::Sharing::kRead},
        {"write", host::HeldFile::Sharing::kWrite},
        {"all", host::HeldFile::Sharing::kAll},
    }};
    return args.ExpectCount(3) && args.FileName(1, &out->file) &&
           args.Choice(2, kSharings, "sharing", &out->sharing);
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    std::string why;
    if (!run.desktop().Hold(file, sharing, &why)) {
      return run.Fail(fmt::format("hold: cannot open {}: {}", run.desktop().PathOf(file), why));
    }
    run.Tell(fmt::format("desktop app: opens {} and keeps it open", file));
    return Outcome::kContinue;
  }

  bool operator==(const HoldCommand&) const = default;
};

// `release FILE`: the desktop app closes FILE again.
struct ReleaseCommand {
  static constexpr Placeholder kPlaceholders[]{{"FILE", ArgumentKind::kFile}};
  static constexpr CommandHelp kHelp{"release", "release FILE", "the desktop app closes FILE",
                                     kPlaceholders};
  std::string file{};

  static bool Parse(Arguments& args, ReleaseCommand* out) {
    return args.ExpectCount(2) && args.FileName(1, &out->file);
  }

  template <class Runner>
  Outcome Run(Runner& run) const {
    if (!run.desktop().Release(file)) return run.Fail(fmt::format("release: {} is not held", file));
    run.Tell(fmt::format("desktop app: closes {}", file));
    return Outcome::kContinue;
  }

  bool operator==(const ReleaseCommand&) const = default;
};

}  // namespace hostscript
