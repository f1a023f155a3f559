// The viewer and the chat on a virtual X display, driven by xdotool: the
// real pointer picks a triangle, real keys move a player and send a line.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "example_run.h"
#include "support/child_process.h"

namespace {

using example_test::Near;
using example_test::Rgb;
using example_test::Image;

// A port nothing listens on now: bound to port 0 and closed again.
int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  if (s >= 0) close(s);
  return port;
}

// Drives one example on a virtual display (tests/examples/xvfb_drive.sh);
// exit code 77 when the display tools are missing.
testing_support::ChildResult Drive(const std::string& out, const std::string& title, const std::string& name,
                                   std::vector<std::string> argsAndSteps) {
  std::filesystem::create_directories(out + "/tmp");
  std::vector<std::string> args = {std::string(VELMORA_SOURCE_DIR) + "/tests/examples/xvfb_drive.sh", out,
                                   out + "/tmp", title,
                                   std::string(VELMORA_BINARY_DIR) + "/examples/" + name + "/" + name};
  args.insert(args.end(), argsAndSteps.begin(), argsAndSteps.end());
  return testing_support::RunProgram("/bin/bash", args, "", {"SDL_AUDIODRIVER=dummy"}, "", 120);
}

TEST(ExamplesOnAVirtualDisplay, PointerPicksAndKeysMoveAndSend) {
  testing_support::TempDir dir;
  const int port = FreePort();
  ASSERT_GT(port, 0);
  const std::string viewerOut = dir.File("viewer"), chatOut = dir.File("chat");
  const testing_support::ChildResult viewer =
      Drive(viewerOut, "Velmora viewer", "viewer",
            {"gem.xqo", "angle", "20", "--", "move", "320", "240", "shoot", "viewer_over", "move", "20", "20", "shoot",
             "viewer_off"});
  if (viewer.exitCode == 77) GTEST_SKIP() << "Xvfb, xdotool or import missing: " << viewer.out;
  const testing_support::ChildResult chat =
      Drive(chatOut, "Velmora chat", "chat",
            {"name", "Eve", "port", std::to_string(port), "--", "hold", "Left", "1", "type", "hi there", "key",
             "Return", "shoot", "chat"});
  const std::string log = testing_support::ReadWholeFile(viewerOut + "/session.log") +
                          testing_support::ReadWholeFile(chatOut + "/session.log");
  ASSERT_EQ(viewer.exitCode, 0) << log;
  ASSERT_EQ(chat.exitCode, 0) << log;
  EXPECT_EQ(testing_support::ReadWholeFile(viewerOut + "/status.txt"), "ended 0\n") << log;
  EXPECT_EQ(testing_support::ReadWholeFile(chatOut + "/status.txt"), "ended 0\n") << log;

  auto yellow = [](Rgb c) { return Near(c, 255, 255, 0, 8); };
  auto red = [](Rgb c) { return c.r > 120 && c.g < 50 && c.b < 50; };
  Image over, off;
  ASSERT_TRUE(over.Load(viewerOut + "/viewer_over.png")) << log;
  ASSERT_TRUE(off.Load(viewerOut + "/viewer_off.png"));
  EXPECT_EQ(over.Count(316, 236, 9, 9, yellow), 81) << "the triangle under the pointer";
  EXPECT_EQ(off.Count(0, 0, over.Width(), over.Height(), yellow), 0) << "nothing under the pointer";
  EXPECT_GT(off.Count(240, 160, 160, 160, red), over.Count(240, 160, 160, 160, red) + 300);

  // Eve hosts alone: player 101, colour 6 (cyan), starting at (480, 150);
  // the left key moved her square left.
  Image shot;
  ASSERT_TRUE(shot.Load(chatOut + "/chat.png"));
  auto cyan = [](Rgb c) { return Near(c, 0x40, 0xFF, 0xFF, 8); };
  EXPECT_EQ(shot.Count(474, 144, 12, 12, cyan), 0);
  EXPECT_GT(shot.Count(40, 144, 430, 12, cyan), 100);
  // The line sent is the last of the chat box; the input line is empty again.
  auto glyph = [](Rgb c) { return c.r > 160 && c.g > 160 && c.b > 160; };
  EXPECT_GT(shot.Count(16, 400, 200, 16, glyph), 40);
  EXPECT_EQ(shot.Count(34, 418, 300, 16, glyph), 0);
  EXPECT_EQ(shot.Count(16, 302, 600, 96, glyph), 0);
}

// Scripts starting their displays at the same moment each get a server of
// their own: with the same first number, they would otherwise share one
// (and the scripts whose servers lost it would drive another test's).
TEST(VirtualDisplays, StartedTogetherAreEachTheirOwn) {
  const std::string script = "for t in Xvfb xdotool import; do command -v $t >/dev/null || { echo missing; exit; }; "
                             "done; source '" + std::string(VELMORA_SOURCE_DIR) +
                             "/tests/support/xvfb_display.sh'; "
                             "for i in 1 2 3; do ( start_virtual_display 320 /dev/null; "
                             "xdotool getdisplaygeometry >/dev/null && echo \"$DISPLAY\"; sleep 1 ) & done; wait";
  const testing_support::ChildResult result = testing_support::RunProgram("/bin/bash", {"-c", script}, "");
  if (result.out == "missing\n") GTEST_SKIP() << "Xvfb, xdotool or import missing";
  std::vector<std::string> displays = testing_support::Lines(result.out);
  std::sort(displays.begin(), displays.end());
  ASSERT_EQ(displays.size(), 3u) << result.out << result.err;
  EXPECT_NE(displays[0], displays[1]);
  EXPECT_NE(displays[1], displays[2]);
}

}  // namespace
