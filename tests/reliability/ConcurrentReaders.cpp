// The desktop app reads the two files while the plugin writes them. This
// program plays that app: it starts tallyloom-host on a generated session of
// 10,000 manual exports with changing ratings and 1,000 ranked matches (two
// history lines each), with the settings tab drawn on the host's render
// thread and faults injected now and then, and meanwhile reads both files in
// a tight loop from two threads of its own.
//
// Every read of the snapshot must be one whole version the session wrote,
// byte for byte, and versions only ever move forward. Every read of the
// history file must be whole lines that begin the file the session ends
// with, followed at most by the start of a line being appended (the docs
// tell readers to leave a last line without its line end for later). In the
// end the host's console and both files must be exactly what the session
// plan says.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kClock = "2026-12-06T21:00:00";
constexpr std::int64_t kWallStart = 1796590800;  // kClock in UTC
constexpr const char* kPlayerId = "76561198012345678";
constexpr int kExportsPerRound = 10;
constexpr int kRounds = 1000;
constexpr int kRoundSeconds = 8;  // a match end every 8 s passes the repeat window

std::string Timestamp(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(kWallStart + seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  return text;
}

std::string ConsoleLine(std::int64_t millis, const std::string& text) {
  return fmt::format("[{}.{:03}] {}\n", millis / 1000, millis % 1000, text);
}

// --- The session plan: the script, and everything it must produce ------------

struct Plan {
  std::string script;
  std::string console;                    // the host's standard output
  std::vector<std::string> snapshots;     // every version written, in order
  std::vector<int> snapshotOfExport;      // per export: index of the file after it
  std::string history;                    // the history file at the end
  std::vector<std::string> historyLines;  // every line written whole, in order
  std::vector<std::string> tornLines;     // lines whose write failed
  int failedExports = 0;
};

// The folder exists throughout, so it is never made and a mkdir fault could
// not strike.
const char* const kSnapshotFaults[] = {"open", "write", "close", "replace"};
const char* const kHistoryFaults[] = {"open", "write", "close"};

std::string SnapshotFailure(const std::string& op, const std::string& target) {
  if (op == "open") return "Failed to open " + target;
  if (op == "replace") return "Failed to replace TallyLoom export file.";
  return "Failed to write " + target;
}

std::string HistoryFailure(const std::string&) {
  return "Failed to append TallyLoom match history.";
}

std::string SnapshotText(int duel, int doubles, const std::string& timestamp) {
  return fmt::format(
      "{{\r\n"
      "  \"schema_version\": 2,\r\n"
      "  \"plugin_version\": \"2.0.0.7\",\r\n"
      "  \"platform\": \"steam\",\r\n"
      "  \"player_id\": \"{}\",\r\n"
      "  \"timestamp\": \"{}\",\r\n"
      "  \"playlists\": [\r\n"
      "    {{\"playlist_id\": \"10\", \"playlist_name\": \"Ranked Duel 1v1\", \"mmr\": {}}},\r\n"
      "    {{\"playlist_id\": \"11\", \"playlist_name\": \"Ranked Doubles 2v2\", \"mmr\": {}}}\r\n"
      "  ]\r\n"
      "}}\r\n",
      kPlayerId, timestamp, duel, doubles);
}

std::string HistoryLine(const std::string& timestamp, int blue, int orange, int before,
                        std::optional<int> after) {
  const bool exact = after.has_value();
  return fmt::format(
      "{{\"timestamp\":\"{0}\",\"playlist_id\":\"11\",\"playlist_name\":\"Ranked Doubles 2v2\","
      "\"schema_version\":3,\"plugin_version\":\"2.0.0.7\",\"match_key\":\"11:{1}:{0}:{2}:{3}\","
      "\"score_blue\":{2},\"score_orange\":{3},\"is_win\":{4},\"mmr\":{5},\"mmr_before\":{6},"
      "\"mmr_after\":{7},\"mmr_delta\":{8},\"mmr_delta_valid\":{9},\"delta_state\":\"{10}\","
      "\"capture_attempts\":{11},\"capture_complete\":{9},\"platform\":\"steam\","
      "\"player_id\":\"{1}\"}}\r\n",
      timestamp, kPlayerId, blue, orange, blue > orange ? "true" : "false", exact ? *after : before,
      before, exact ? std::to_string(*after) : "null",
      exact ? std::to_string(*after - before) : "null", exact ? "true" : "false",
      exact ? "exact" : "pending", exact ? 1 : 0);
}

Plan MakePlan(const std::string& snapshotPath) {
  Plan plan;
  std::string& s = plan.script;
  s += "# Generated: exports and matches while another process reads both files.\n";
  s += "tallyloom_auto_export 0\n";
  s += fmt::format("account {}\nmmr 11 1200\n", kPlayerId);
  plan.console += ConsoleLine(0, "TallyLoom MMR: Installed and loaded. Automatic export is ready.");

  int doubles = 1200;  // the rating the service holds for playlist 11
  int exportIndex = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::int64_t start = std::int64_t{round} * kRoundSeconds;
    const std::string stamp = Timestamp(start);
    for (int e = 0; e < kExportsPerRound; ++e, ++exportIndex) {
      const int duel = 1001 + exportIndex;  // tells the versions apart
      s += fmt::format("mmr 10 {}\n", duel);
      if (exportIndex % 250 == 125) {
        const std::string op = kSnapshotFaults[(exportIndex / 250) % 4];
        s += "fault " + op + "\n";
        plan.console +=
            ConsoleLine(start * 1000, "TallyLoom MMR error: " + SnapshotFailure(op, snapshotPath));
        ++plan.failedExports;
      } else {
        plan.snapshots.push_back(SnapshotText(duel, doubles, stamp));
        plan.console += ConsoleLine(start * 1000,
                                    "TallyLoom MMR: Manual test export exported 2 ranked "
                                    "playlists.");
      }
      s += "tallyloom_export_mmr\n";
      plan.snapshotOfExport.push_back(static_cast<int>(plan.snapshots.size()) - 1);
    }

    // A won or lost doubles match; its new rating syncs a second later and
    // the first attempt, 7 s after the end, takes it.
    const bool won = round % 2 == 0;
    const int blue = won ? 3 : 0, orange = won ? 1 : 2;
    const int before = doubles;
    int after = 1500 + (round * 37) % 101 - 50;
    if (after == before) ++after;
    s += fmt::format("match 11 {} {}\n", blue, orange);
    const auto line = [&](const std::string& text, std::optional<std::string> fault,
                          std::int64_t at) {
      if (fault) {
        plan.tornLines.push_back(text);
        plan.console += ConsoleLine(at * 1000, "TallyLoom MMR error: " + HistoryFailure(*fault));
      } else {
        plan.historyLines.push_back(text);
        plan.history += text;
      }
    };
    std::optional<std::string> pendingFault, finalFault;
    if (round % 50 == 10) pendingFault = kHistoryFaults[(round / 50) % 3];
    if (round % 50 == 35) finalFault = kHistoryFaults[(round / 50 + 1) % 3];
    if (pendingFault) s += "fault " + *pendingFault + "\n";
    s += "event match-ended\n";
    line(HistoryLine(stamp, blue, orange, before, std::nullopt), pendingFault, start);
    plan.console +=
        ConsoleLine(start * 1000, fmt::format("TallyLoom MMR: Queued ranked match capture for "
                                              "Ranked Doubles 2v2 ({}-{}).",
                                              blue, orange));
    s += fmt::format("mmr 11 {} after 1\nwait 1\n", after);
    if (finalFault) s += "fault " + *finalFault + "\n";
    s += "wait 7\n";
    line(HistoryLine(stamp, blue, orange, before, after), finalFault, start + 7);
    plan.console += ConsoleLine(
        (start + 7) * 1000,
        fmt::format("TallyLoom MMR: Captured exact {} delta of {} for Ranked Doubles 2v2.",
                    won ? "win" : "loss", after - before));
    doubles = after;
  }
  return plan;
}

// --- Reading ---------------------------------------------------------------------

std::optional<std::string> ReadWhole(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

struct Problems {
  std::mutex mutex;
  std::vector<std::string> list;
  void Add(std::string text) {
    std::lock_guard lock(mutex);
    if (list.size() < 10) list.push_back(std::move(text));
  }
};

struct SnapshotReader {
  long reads = 0, absent = 0, changes = 0;
  void Run(const Plan& plan, const std::string& path, const std::atomic<bool>& done,
           Problems* problems) {
    int last = -1;
    for (bool finalRead = false; !finalRead;) {
      finalRead = done.load(std::memory_order_acquire);
      const std::optional<std::string> bytes = ReadWhole(path);
      if (!bytes) {
        ++absent;
        if (last >= 0) problems->Add("the snapshot vanished after it had been written");
        continue;
      }
      ++reads;
      int duel = 0;
      try {
        duel = nlohmann::json::parse(*bytes).at("playlists").at(0).at("mmr").get<int>();
      } catch (const std::exception& error) {
        problems->Add(std::string("a snapshot read that is not whole JSON: ") + error.what() +
                      "\n" + *bytes);
        continue;
      }
      const int exportIndex = duel - 1001;
      if (exportIndex < 0 || exportIndex >= static_cast<int>(plan.snapshotOfExport.size())) {
        problems->Add("a snapshot no export wrote:\n" + *bytes);
        continue;
      }
      const int version = plan.snapshotOfExport[exportIndex];
      if (version < 0 || *bytes != plan.snapshots[version]) {
        problems->Add("a snapshot read that is not the version written:\n" + *bytes);
        continue;
      }
      if (version < last) problems->Add("an older snapshot came back");
      if (version != last) ++changes;
      last = version;
    }
  }
};

struct HistoryReader {
  long reads = 0, inFlight = 0, growths = 0, cutBack = 0;

  // A line whose file failed to close was on disk whole before the plugin
  // cut the file back; a reader may catch it in between.
  static bool EndsWithCutLine(const Plan& plan, const std::string& whole, std::size_t* kept) {
    const std::size_t previous = whole.size() >= 2 ? whole.rfind("\r\n", whole.size() - 3) : 0;
    *kept = previous == std::string::npos ? 0 : previous + 2;
    const std::string last = whole.substr(*kept);
    return std::find(plan.tornLines.begin(), plan.tornLines.end(), last) != plan.tornLines.end() &&
           plan.history.compare(0, *kept, whole, 0, *kept) == 0;
  }

  void Run(const Plan& plan, const std::string& path, const std::atomic<bool>& done,
           Problems* problems) {
    std::size_t lastWhole = 0;
    for (bool finalRead = false; !finalRead;) {
      finalRead = done.load(std::memory_order_acquire);
      const std::optional<std::string> bytes = ReadWhole(path);
      if (!bytes) continue;
      ++reads;
      const std::size_t end = bytes->rfind("\r\n");
      std::size_t whole = end == std::string::npos ? 0 : end + 2;
      if (plan.history.compare(0, whole, *bytes, 0, whole) != 0) {
        std::size_t kept = 0;
        if (!EndsWithCutLine(plan, bytes->substr(0, whole), &kept)) {
          problems->Add("history lines that are not the lines written:\n" +
                        bytes->substr(0, whole));
          continue;
        }
        ++cutBack;
        whole = kept;
      }
      if (whole < lastWhole) problems->Add("whole history lines disappeared");
      if (whole > lastWhole) ++growths;
      lastWhole = whole;
      const std::size_t tailStart = end == std::string::npos ? 0 : end + 2;
      const std::string tail = bytes->substr(tailStart);
      if (tail.empty()) continue;
      ++inFlight;
      bool known = false;
      const auto next = static_cast<std::size_t>(std::count(
          plan.history.begin(), plan.history.begin() + static_cast<std::ptrdiff_t>(whole), '\n'));
      if (next < plan.historyLines.size()) known = plan.historyLines[next].starts_with(tail);
      for (const std::string& torn : plan.tornLines) known = known || torn.starts_with(tail);
      if (!known) problems->Add("a partial line that no line begins with:\n" + tail);
    }
  }
};

// --- The host ----------------------------------------------------------------------

int RunHost(const std::vector<std::string>& arguments, const fs::path& out, const fs::path& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (!entry.starts_with("TZ=") && !entry.starts_with("USERPROFILE=")) {
      environment.push_back(entry);
    }
  }
  environment.push_back("TZ=UTC");
  std::vector<char*> argv, envp;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(spawned));
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ReadFileOrEmpty(const fs::path& path) { return ReadWhole(path.string()).value_or(""); }

bool Check(bool ok, const std::string& what) {
  if (!ok) std::fprintf(stderr, "FAIL: %s\n", what.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string host;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--host") host = argv[i + 1];
  }
  if (host.empty()) {
    std::fprintf(stderr, "usage: %s --host TALLYLOOM_HOST\n", argv[0]);
    return 2;
  }

  std::string pattern = (fs::temp_directory_path() / "tallyloom-readers-XXXXXX").string();
  const fs::path root = mkdtemp(pattern.data());
  const fs::path profile = root / "profile";
  const fs::path folder = profile / ".tallyloom";
  const std::string snapshotPath = (folder / "bakkesmod_mmr.json").string();
  const std::string historyPath = (folder / "bakkesmod_match_history.jsonl").string();

  const Plan plan = MakePlan(snapshotPath);
  for (const std::string& line : plan.historyLines) {
    if (!nlohmann::json::accept(line)) {  // the plan itself is well-formed
      std::fprintf(stderr, "FAIL: the plan holds a line that is not JSON: %s", line.c_str());
      return 1;
    }
  }
  {
    std::ofstream script(root / "session.tlh", std::ios::binary);
    script << plan.script;
  }

  std::atomic<bool> done{false};
  Problems problems;
  SnapshotReader snapshotReader;
  HistoryReader historyReader;
  std::thread snapshots([&] { snapshotReader.Run(plan, snapshotPath, done, &problems); });
  std::thread history([&] { historyReader.Run(plan, historyPath, done, &problems); });

  const int exitCode =
      RunHost({host, "--fps", "0", "--render-thread", "--profile", profile.string(), "--clock",
               kClock, (root / "session.tlh").string()},
              root / "out.txt", root / "err.txt");
  done.store(true, std::memory_order_release);
  snapshots.join();
  history.join();

  bool ok = true;
  ok &= Check(exitCode == 0, fmt::format("tallyloom-host exited with {}", exitCode));
  const std::string err = ReadFileOrEmpty(root / "err.txt");
  ok &= Check(err.empty(), "tallyloom-host wrote to standard error:\n" + err);
  ok &= Check(ReadFileOrEmpty(root / "out.txt") == plan.console,
              "the host's console differs from the plan (see " + (root / "out.txt").string() + ")");
  ok &= Check(ReadFileOrEmpty(snapshotPath) == plan.snapshots.back(),
              "the last snapshot is not the last version written");
  ok &= Check(ReadFileOrEmpty(historyPath) == plan.history,
              "the history file is not every line written whole");
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder)) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  ok &=
      Check(left == std::vector<std::string>{"bakkesmod_match_history.jsonl", "bakkesmod_mmr.json"},
            "the export folder holds other files than the two");
  for (const std::string& problem : problems.list) ok &= Check(false, problem);
  ok &= Check(snapshotReader.reads > 0 && historyReader.reads > 0, "the readers read nothing");

  const int exports = kRounds * kExportsPerRound;
  std::printf(
      "[ COUNTS   ] snapshot: %d exports (%d failed by injected faults), %ld reads while they ran, "
      "%ld version changes seen, %zu problems\n",
      exports, plan.failedExports, snapshotReader.reads, snapshotReader.changes,
      problems.list.size());
  std::printf(
      "[ COUNTS   ] history: %zu lines written whole, %zu failed by injected faults, %ld reads "
      "while they were appended, %ld saw new lines, %ld caught an append in flight, %ld caught a "
      "failed line before it was cut back\n",
      plan.historyLines.size(), plan.tornLines.size(), historyReader.reads, historyReader.growths,
      historyReader.inFlight, historyReader.cutBack);
  std::printf("%s\n",
              ok ? "ok concurrent readers: nothing torn, nothing lost" : "FAIL concurrent readers");
  if (ok) fs::remove_all(root);
  return ok ? 0 : 1;
}
