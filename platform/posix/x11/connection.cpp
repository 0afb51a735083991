#include "platform/posix/x11/connection.h"

#include <fcntl.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace procguard::x11 {

namespace {

// Structure events bring the remembered window's destruction, property
// events a change of its _NET_WM_PID, WM_CLIENT_MACHINE or WM_PROTOCOLS.
constexpr std::uint32_t kWatchedEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;

Connection gKept; // xcb nullptr: none open

void closeConnection(Connection& connection) {
    if (connection.xcb != nullptr) xcb_disconnect(connection.xcb);
    connection = Connection{};
}

bool openConnection(Connection& connection, const char* display) {
    xcb_connection_t* xcb = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(xcb) != 0) {
        xcb_disconnect(xcb);
        return false;
    }
    // A started target must not inherit the connection: the server would
    // keep it open, with this process's selections, after the watchdog ended.
    const int fd = xcb_get_file_descriptor(xcb);
    fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    connection.xcb = xcb;
    connection.display = display;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(xcb)); screens.rem != 0; xcb_screen_next(&screens)) {
        connection.roots.push_back(screens.data->root);
    }
    lookUpMissingAtoms(connection);
    return true;
}

// Takes in every event that has arrived (one read that finds the socket
// empty). False when the server has closed the connection meanwhile.
bool takePendingEvents(Connection& connection) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection.xcb)) {
        noteEvent(connection, event);
        std::free(event);
    }
    return xcb_connection_has_error(connection.xcb) == 0;
}

} // namespace

Connection* currentConnection() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        closeConnection(gKept);
        return nullptr;
    }
    if (gKept.xcb != nullptr && gKept.display == display && takePendingEvents(gKept)) return &gKept;
    closeConnection(gKept);
    return openConnection(gKept, display) ? &gKept : nullptr;
}

void lookUpMissingAtoms(Connection& connection) {
    Atoms& atoms = connection.atoms;
    const struct {
        xcb_atom_t* atom;
        const char* name;
    } wanted[] = {{&atoms.pid, "_NET_WM_PID"},
                  {&atoms.clientList, "_NET_CLIENT_LIST"},
                  {&atoms.managerCheck, "_NET_SUPPORTING_WM_CHECK"},
                  {&atoms.protocols, "WM_PROTOCOLS"},
                  {&atoms.ping, "_NET_WM_PING"}};
    xcb_intern_atom_cookie_t cookies[std::size(wanted)] = {};
    for (std::size_t i = 0; i < std::size(wanted); ++i) {
        if (*wanted[i].atom != XCB_ATOM_NONE) continue;
        const auto length = static_cast<std::uint16_t>(std::strlen(wanted[i].name));
        cookies[i] = xcb_intern_atom(connection.xcb, 1, length, wanted[i].name);
    }
    for (std::size_t i = 0; i < std::size(wanted); ++i) {
        if (*wanted[i].atom != XCB_ATOM_NONE) continue;
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(connection.xcb, cookies[i], nullptr), &std::free);
        if (reply) *wanted[i].atom = reply->atom;
    }
}

void noteEvent(Connection& connection, const xcb_generic_event_t* event) {
    RememberedWindow& remembered = connection.remembered;
    if (remembered.window == XCB_WINDOW_NONE) return;
    switch (event->response_type & 0x7f) {
    case 0: {
        const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event);
        if (error->error_code == XCB_WINDOW && error->resource_id == remembered.window) remembered = {};
        break;
    }
    case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == remembered.window) remembered = {};
        break;
    case XCB_PROPERTY_NOTIFY: {
        const auto* changed = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        const Atoms& atoms = connection.atoms;
        // An atom still unknown may be the one that just changed.
        const bool ofFacts = changed->atom == atoms.pid || changed->atom == XCB_ATOM_WM_CLIENT_MACHINE ||
                             changed->atom == atoms.protocols || atoms.protocols == XCB_ATOM_NONE ||
                             atoms.ping == XCB_ATOM_NONE;
        if (changed->window == remembered.window && ofFacts) remembered.stale = true;
        break;
    }
    default: break;
    }
}

void watchWindow(Connection& connection, xcb_window_t window, bool watch) {
    const std::uint32_t mask = watch ? kWatchedEvents : 0;
    xcb_change_window_attributes(connection.xcb, window, XCB_CW_EVENT_MASK, &mask);
}

xcb_get_property_cookie_t requestProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                                          std::uint32_t maxBytes) {
    return xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, (maxBytes + 3) / 4);
}

Property receiveProperty(xcb_connection_t* connection, xcb_get_property_cookie_t cookie) {
    xcb_generic_error_t* error = nullptr;
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, &error), &std::free);
    std::free(error);
    Property property;
    if (!reply) return property;
    property.windowExists = true;
    property.type = reply->type;
    property.format = reply->format;
    const auto* value = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
    const int length = xcb_get_property_value_length(reply.get());
    if (length > 0) property.bytes.assign(value, value + length);
    return property;
}

std::vector<std::uint32_t> items32(const Property& property, xcb_atom_t type) {
    std::vector<std::uint32_t> items;
    if (property.type != type || property.format != 32) return items;
    items.resize(property.bytes.size() / 4);
    if (!items.empty()) std::memcpy(items.data(), property.bytes.data(), items.size() * 4);
    return items;
}

std::string text8(const Property& property) {
    if (property.format != 8) return {};
    std::string text(property.bytes.begin(), property.bytes.end());
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

} // namespace procguard::x11
