#include "platform/posix/x11/display.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace procguard::x11 {

bool openDisplay(Display& display) {
    display = Display {};
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') return false;
    xcb_connection_t* connection = xcb_connect(name, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return false;
    }
    display.connection = connection;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection)); screens.rem != 0;
         xcb_screen_next(&screens)) {
        display.roots.push_back(screens.data->root);
    }
    return true;
}

void closeDisplay(Display& display) {
    if (display.connection != nullptr) xcb_disconnect(display.connection);
    display = Display {};
}

std::vector<xcb_atom_t> lookUpAtoms(xcb_connection_t* connection, std::initializer_list<const char*> names) {
    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (const char* name : names) {
        cookies.push_back(xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name));
    }
    std::vector<xcb_atom_t> atoms;
    for (xcb_intern_atom_cookie_t cookie : cookies) {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
        atoms.push_back(reply ? reply->atom : xcb_atom_t {XCB_ATOM_NONE});
    }
    return atoms;
}

xcb_get_property_cookie_t requestProperty(xcb_connection_t* connection, xcb_window_t window,
                                          xcb_atom_t property, std::uint32_t maxBytes) {
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

