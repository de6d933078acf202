#pragma once

// A virtual X display for the program file, and our own client on it: finds top-level windows by
// title, asks a window to close as a window manager does, gives input focus, types and clicks
// through the XTEST extension (so the program sees real input events), and reads the clipboard.
// There is no window manager on the display: top-level windows are children of the root window
// and stand where the program puts them.

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "program/process.h"

namespace mirevant::testing {

// Xvfb on a display number the server picks itself (-displayfd), so that tests running side by
// side never race for one.
class VirtualDisplay {
 public:
  VirtualDisplay() = default;
  ~VirtualDisplay();
  // Returns "" or the reason the server did not come up.
  std::string start();
  const std::string& name() const { return name_; }  // ":N"

 private:
  ChildProcess server_;
  std::string name_;
};

struct TopLevel {
  xcb_window_t id = 0;
  std::string title;
  int x = 0, y = 0, width = 0, height = 0;  // outer geometry on the screen
};

// X key symbols used by the tests.
namespace keysym {
inline constexpr std::uint32_t Return = 0xff0d;
inline constexpr std::uint32_t Escape = 0xff1b;
inline constexpr std::uint32_t Home = 0xff50;
inline constexpr std::uint32_t Left = 0xff51;
inline constexpr std::uint32_t Up = 0xff52;
inline constexpr std::uint32_t Right = 0xff53;
inline constexpr std::uint32_t Down = 0xff54;
inline constexpr std::uint32_t ShiftL = 0xffe1;
inline constexpr std::uint32_t ControlL = 0xffe3;
inline constexpr std::uint32_t AltL = 0xffe9;
}  // namespace keysym

class XSession {
 public:
  explicit XSession(const std::string& display);
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  // "" or why the session is unusable (no connection, no XTEST).
  const std::string& error() const { return error_; }

  // The mapped top-level windows with their titles.
  std::vector<TopLevel> topLevels();
  // Waits for a mapped top-level window with exactly this title; gives up early when `giveUp`
  // answers true (the program has ended, say).
  std::optional<TopLevel> waitForWindow(const std::string& title, milliseconds timeout,
                                        const std::function<bool()>& giveUp = {});
  bool isMapped(xcb_window_t window);
  // "title" (WxH+X+Y), ... of every mapped top-level window, for failure messages.
  std::string describeWindows();

  // The close request a window manager sends when the user clicks the close box: a
  // WM_PROTOCOLS client message carrying WM_DELETE_WINDOW.
  void requestClose(xcb_window_t window);
  // Sets the input focus to a window, as a window manager does when it activates it.
  void focus(xcb_window_t window);

  // Real input through XTEST. Positions are in screen coordinates.
  void click(int x, int y);
  void key(std::uint32_t sym, const std::vector<std::uint32_t>& modifiers = {});
  // Types printable ASCII text, with Shift where the keyboard needs it.
  void type(const std::string& text);

  // The text of the CLIPBOARD selection, once some client owns it; nullopt on timeout.
  std::optional<std::string> clipboardText(milliseconds timeout);

  // Waits until the server has handled everything sent so far.
  void sync();

 private:
  xcb_atom_t atom(const char* name);
  std::string windowTitle(xcb_window_t window);
  void fakeInput(std::uint8_t type, std::uint8_t detail, std::int16_t x = 0, std::int16_t y = 0);
  // Keycode and whether Shift is needed for a key symbol; keycode 0 when the keyboard lacks it.
  std::pair<xcb_keycode_t, bool> keycodeFor(std::uint32_t sym);
  void loadKeyboard();
  xcb_generic_event_t* waitForEvent(std::uint8_t responseType, milliseconds timeout);

  xcb_connection_t* connection_ = nullptr;
  xcb_screen_t* screen_ = nullptr;
  std::string error_;
  std::vector<xcb_keysym_t> keysyms_;
  int keysymsPerKeycode_ = 0;
  xcb_keycode_t minKeycode_ = 0;
  xcb_window_t requestor_ = 0;
};

}  // namespace mirevant::testing
