#pragma once
// Calls the session's file reader and writer whichever way they take the
// device (reference or pointer); false when the session offers none.
#include <QIODevice>
#include <utility>

namespace SessionIo {
namespace detail {
template <typename T>
auto write(T& d, QIODevice& dev, int) -> decltype(bool(d.write(dev))) { return d.write(dev); }
template <typename T>
auto write(T& d, QIODevice& dev, long) -> decltype(bool(d.write(&dev))) { return d.write(&dev); }
template <typename T>
bool write(T&, QIODevice&, ...) { return false; }
template <typename T>
auto read(T& d, QIODevice& dev, int) -> decltype(bool(d.read(dev))) { return d.read(dev); }
template <typename T>
auto read(T& d, QIODevice& dev, long) -> decltype(bool(d.read(&dev))) { return d.read(&dev); }
template <typename T>
bool read(T&, QIODevice&, ...) { return false; }
} // namespace detail

template <typename T>
bool write(T& data, QIODevice& dev) { return detail::write(data, dev, 0); }
template <typename T>
bool read(T& data, QIODevice& dev) { return detail::read(data, dev, 0); }
} // namespace SessionIo
