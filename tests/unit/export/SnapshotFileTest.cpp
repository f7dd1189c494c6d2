// The snapshot's text as composed in memory. It must hold single line feeds
// only: the text-mode write turns each into CR LF, so a CR composed here would
// reach the disk doubled. What the file looks like on disk is proven by the
// scenario tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/SnapshotFile.h"

namespace {

TallyLoomAccount Steam(std::string displayName) {
  return TallyLoomAccount{"steam", "76561198012345678", std::move(displayName)};
}

const std::vector<TallyLoomPlaylistMmr> kTwoPlaylists = {{10, "Ranked Duel 1v1", 1102},
                                                         {13, "Ranked Standard 3v3", 1761}};

TEST(ComposeSnapshotTest, ExactTextWithSingleLineFeeds) {
  const std::string expected =
      "{\n"
      "  \"schema_version\": 2,\n"
      "  \"plugin_version\": \"2.0.0.7\",\n"
      "  \"platform\": \"steam\",\n"
      "  \"player_id\": \"76561198012345678\",\n"
      "  \"display_name\": \"Mara Quinn\",\n"
      "  \"timestamp\": \"2026-12-06T21:14:07\",\n"
      "  \"playlists\": [\n"
      "    {\"playlist_id\": \"10\", \"playlist_name\": \"Ranked Duel 1v1\", \"mmr\": 1102},\n"
      "    {\"playlist_id\": \"13\", \"playlist_name\": \"Ranked Standard 3v3\", \"mmr\": 1761}\n"
      "  ]\n"
      "}\n";
  EXPECT_EQ(ComposeSnapshot(Steam("Mara Quinn"), kTwoPlaylists, "2026-12-06T21:14:07"), expected);
}

TEST(ComposeSnapshotTest, DisplayNameLineDependsOnTheNameBeforeEscaping) {
  const std::string withoutName = ComposeSnapshot(Steam(""), kTwoPlaylists, "2026-12-06T21:14:07");
  EXPECT_EQ(withoutName.find("display_name"), std::string::npos);
  // Only the name line differs between the two.
  std::string withName = ComposeSnapshot(Steam("x"), kTwoPlaylists, "2026-12-06T21:14:07");
  const std::string nameLine = "  \"display_name\": \"x\",\n";
  ASSERT_NE(withName.find(nameLine), std::string::npos);
  EXPECT_EQ(withName.erase(withName.find(nameLine), nameLine.size()), withoutName);

  // A name the game gave is written even when escaping leaves nothing of it.
  EXPECT_NE(ComposeSnapshot(Steam("\x01\x02"), kTwoPlaylists, "2026-12-06T21:14:07")
                .find("\n  \"display_name\": \"\",\n  \"timestamp\""),
            std::string::npos);
}

TEST(ComposeSnapshotTest, GameTextIsEscapedThePluginsOwnIsNot) {
  const TallyLoomAccount account{"epic", "id\"with\\odd\tbytes\x01", "Ma\"ra"};
  const std::string text =
      ComposeSnapshot(account, {{30, "Snow \"Day\"", 2147483647}}, "2026-12-06T21:14:07");
  EXPECT_NE(text.find("\n  \"platform\": \"epic\",\n"), std::string::npos);
  EXPECT_NE(text.find("\n  \"player_id\": \"id\\\"with\\\\odd\\tbytes\",\n"), std::string::npos);
  EXPECT_NE(text.find("\n  \"display_name\": \"Ma\\\"ra\",\n"), std::string::npos);
  EXPECT_NE(text.find("\n  \"timestamp\": \"2026-12-06T21:14:07\",\n"), std::string::npos);
  // One playlist: no comma after it; the MMR stays a bare number at any size.
  EXPECT_NE(text.find("\n    {\"playlist_id\": \"30\", \"playlist_name\": \"Snow \\\"Day\\\"\", "
                      "\"mmr\": 2147483647}\n  ]\n}\n"),
            std::string::npos);
  EXPECT_EQ(text.find('\r'), std::string::npos);
}

}  // namespace
