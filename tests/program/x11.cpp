#include "program/x11.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace mirevant::testing {

namespace {

template <typename T>
struct FreeDeleter {
  void operator()(T* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter<T>>;

std::string findInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? end : end - start);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return "";
}

// The XTEST extension's FakeInput request, as the protocol lays it out.
xcb_extension_t xtestExtension = {"XTEST", 0};
constexpr std::uint8_t kFakeInput = 2;
struct FakeInputRequest {
  std::uint8_t majorOpcode;
  std::uint8_t minorOpcode;
  std::uint16_t length;
  std::uint8_t type;
  std::uint8_t detail;
  std::uint8_t pad0[2];
  std::uint32_t time;
  xcb_window_t root;
  std::uint8_t pad1[8];
  std::int16_t rootX;
  std::int16_t rootY;
  std::uint8_t pad2[7];
  std::uint8_t deviceid;
};
static_assert(sizeof(FakeInputRequest) == 36);

}  // namespace

// ---- the server ----

VirtualDisplay::~VirtualDisplay() {
  server_.terminate(milliseconds(3000));
}

std::string VirtualDisplay::start() {
  const std::string xvfb = findInPath("Xvfb");
  if (xvfb.empty()) return "Xvfb is not installed";
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return std::string("pipe: ") + std::strerror(errno);
  ChildProcess::Setup setup;
  setup.argv = {xvfb,           "-displayfd", "3",   "-screen", "0",
                "1280x1024x24", "-nolisten",  "tcp", "-noreset"};
  setup.passFd = fds[1];
  const std::string failed = server_.start(setup);
  ::close(fds[1]);
  if (!failed.empty()) {
    ::close(fds[0]);
    return failed;
  }
  // The server writes its display number once it accepts connections.
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + milliseconds(15000);
  while (number.find('\n') == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fds[0], POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    char buf[32];
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    number.append(buf, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  const size_t end = number.find('\n');
  if (end == std::string::npos || end == 0) {
    server_.kill();
    return "Xvfb did not report a display (" + server_.describeStatus() + ")";
  }
  name_ = ":" + number.substr(0, end);
  return "";
}

// ---- our client ----

XSession::XSession(const std::string& display) {
  int screenNumber = 0;
  connection_ = xcb_connect(display.c_str(), &screenNumber);
  if (xcb_connection_has_error(connection_) != 0) {
    error_ = "cannot connect to the X display " + display;
    return;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int k = 0; k < screenNumber && it.rem > 0; ++k) xcb_screen_next(&it);
  screen_ = it.data;
  const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection_, &xtestExtension);
  if (xtest == nullptr || xtest->present == 0) {
    error_ = "the X display has no XTEST extension";
    return;
  }
  loadKeyboard();
}

XSession::~XSession() {
  if (connection_ != nullptr) xcb_disconnect(connection_);
}

xcb_atom_t XSession::atom(const char* name) {
  Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection_,
      xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::string XSession::windowTitle(xcb_window_t window) {
  auto property = [&](xcb_atom_t name, xcb_atom_t type) -> std::optional<std::string> {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, name, type, 0, 1024), nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<size_t>(xcb_get_property_value_length(reply.get())));
  };
  if (auto name = property(atom("_NET_WM_NAME"), atom("UTF8_STRING"))) return *name;
  return property(XCB_ATOM_WM_NAME, XCB_ATOM_STRING).value_or("");
}

std::vector<TopLevel> XSession::topLevels() {
  std::vector<TopLevel> windows;
  Reply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection_, xcb_query_tree(connection_, screen_->root), nullptr));
  if (!tree) return windows;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  const int count = xcb_query_tree_children_length(tree.get());
  for (int k = 0; k < count; ++k) {
    const xcb_window_t w = children[k];
    if (!isMapped(w)) continue;
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, w), nullptr));
    if (!geometry) continue;
    windows.push_back(
        {w, windowTitle(w), geometry->x, geometry->y, geometry->width, geometry->height});
  }
  return windows;
}

bool XSession::isMapped(xcb_window_t window) {
  Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
      connection_, xcb_get_window_attributes(connection_, window), nullptr));
  return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::optional<TopLevel> XSession::waitForWindow(const std::string& title, milliseconds timeout,
                                                const std::function<bool()>& giveUp) {
  std::optional<TopLevel> found;
  waitUntil(
      [&] {
        for (const TopLevel& w : topLevels()) {
          if (w.title == title) {
            found = w;
            return true;
          }
        }
        return giveUp && giveUp();
      },
      timeout);
  return found;
}

std::string XSession::describeWindows() {
  std::string out;
  for (const TopLevel& w : topLevels()) {
    if (!out.empty()) out += ", ";
    out += "\"" + w.title + "\" (" + std::to_string(w.width) + "x" + std::to_string(w.height) +
           "+" + std::to_string(w.x) + "+" + std::to_string(w.y) + ")";
  }
  return out.empty() ? "no mapped windows" : out;
}

void XSession::requestClose(xcb_window_t window) {
  xcb_client_message_event_t event;
  std::memset(&event, 0, sizeof event);
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = atom("WM_PROTOCOLS");
  event.data.data32[0] = atom("WM_DELETE_WINDOW");
  event.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(connection_, 0, window, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&event));
  xcb_flush(connection_);
}

void XSession::focus(xcb_window_t window) {
  xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
  sync();
}

void XSession::fakeInput(std::uint8_t type, std::uint8_t detail, std::int16_t x, std::int16_t y) {
  FakeInputRequest request;
  std::memset(&request, 0, sizeof request);
  request.type = type;
  request.detail = detail;
  request.time = XCB_CURRENT_TIME;
  request.root = screen_->root;
  request.rootX = x;
  request.rootY = y;
  xcb_protocol_request_t protocol = {2, &xtestExtension, kFakeInput, 1};
  iovec parts[4];
  parts[2].iov_base = &request;
  parts[2].iov_len = sizeof request;
  parts[3].iov_base = nullptr;
  parts[3].iov_len = 0;
  xcb_send_request(connection_, 0, parts + 2, &protocol);
}

void XSession::loadKeyboard() {
  const xcb_setup_t* setup = xcb_get_setup(connection_);
  minKeycode_ = setup->min_keycode;
  const std::uint8_t count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
  Reply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
      connection_, xcb_get_keyboard_mapping(connection_, minKeycode_, count), nullptr));
  if (!mapping) {
    error_ = "cannot read the keyboard mapping";
    return;
  }
  keysymsPerKeycode_ = mapping->keysyms_per_keycode;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
  keysyms_.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(mapping.get()));
}

std::pair<xcb_keycode_t, bool> XSession::keycodeFor(std::uint32_t sym) {
  if (keysymsPerKeycode_ <= 0) return {0, false};
  const size_t codes = keysyms_.size() / static_cast<size_t>(keysymsPerKeycode_);
  // Unshifted first: the plain key wins over a shifted one ("8" before "*" on the same key).
  for (int column = 0; column < 2 && column < keysymsPerKeycode_; ++column) {
    for (size_t k = 0; k < codes; ++k) {
      if (keysyms_[k * static_cast<size_t>(keysymsPerKeycode_) + static_cast<size_t>(column)] ==
          sym)
        return {static_cast<xcb_keycode_t>(minKeycode_ + k), column == 1};
    }
  }
  return {0, false};
}

void XSession::click(int x, int y) {
  fakeInput(XCB_MOTION_NOTIFY, 0, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y));
  fakeInput(XCB_BUTTON_PRESS, 1);
  fakeInput(XCB_BUTTON_RELEASE, 1);
  sync();
}

void XSession::key(std::uint32_t sym, const std::vector<std::uint32_t>& modifiers) {
  const auto [code, shifted] = keycodeFor(sym);
  if (code == 0) {
    if (error_.empty()) error_ = "the keyboard has no key for key symbol " + std::to_string(sym);
    return;
  }
  std::vector<xcb_keycode_t> held;
  for (std::uint32_t m : modifiers) held.push_back(keycodeFor(m).first);
  if (shifted) held.push_back(keycodeFor(keysym::ShiftL).first);
  if (std::find(held.begin(), held.end(), 0) != held.end()) {
    if (error_.empty()) error_ = "the keyboard has no modifier key needed";
    return;
  }
  for (xcb_keycode_t m : held) fakeInput(XCB_KEY_PRESS, m);
  fakeInput(XCB_KEY_PRESS, code);
  fakeInput(XCB_KEY_RELEASE, code);
  for (auto it = held.rbegin(); it != held.rend(); ++it) fakeInput(XCB_KEY_RELEASE, *it);
  sync();
}

void XSession::type(const std::string& text) {
  for (char c : text) key(c == '\n' ? keysym::Return : static_cast<unsigned char>(c));
}

void XSession::sync() {
  Reply<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

xcb_generic_event_t* XSession::waitForEvent(std::uint8_t responseType, milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      if ((event->response_type & 0x7f) == responseType) return event;
      std::free(event);
    }
    if (xcb_connection_has_error(connection_) != 0) return nullptr;
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return nullptr;
    pollfd p{xcb_get_file_descriptor(connection_), POLLIN, 0};
    poll(&p, 1, static_cast<int>(left.count()));
  }
}

std::optional<std::string> XSession::clipboardText(milliseconds timeout) {
  const xcb_atom_t clipboard = atom("CLIPBOARD");
  const xcb_atom_t utf8 = atom("UTF8_STRING");
  const xcb_atom_t target = atom("MIREVANT_TEST_CLIPBOARD");
  if (requestor_ == 0) {
    requestor_ = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, requestor_, screen_->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto left = [&] {
    return std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
  };
  while (left().count() > 0) {
    Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, clipboard), nullptr));
    if (!owner || owner->owner == XCB_WINDOW_NONE) {
      std::this_thread::sleep_for(milliseconds(10));
      continue;
    }
    xcb_convert_selection(connection_, requestor_, clipboard, utf8, target, XCB_CURRENT_TIME);
    xcb_flush(connection_);
    std::unique_ptr<xcb_generic_event_t, FreeDeleter<xcb_generic_event_t>> event(
        waitForEvent(XCB_SELECTION_NOTIFY, left()));
    if (!event) break;
    const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
    if (notify->property == XCB_ATOM_NONE) {
      std::this_thread::sleep_for(milliseconds(10));
      continue;
    }
    Reply<xcb_get_property_reply_t> value(
        xcb_get_property_reply(connection_,
                               xcb_get_property(connection_, 1, requestor_, target,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 22),
                               nullptr));
    if (!value) break;
    return std::string(static_cast<const char*>(xcb_get_property_value(value.get())),
                       static_cast<size_t>(xcb_get_property_value_length(value.get())));
  }
  return std::nullopt;
}

}  // namespace mirevant::testing
