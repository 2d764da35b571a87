// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small closed set of error kinds, carried in a result value. The core never
// shows anything: the app and the command-line tool turn these into messages.

#include <string>
#include <utility>
#include <variant>

namespace kyr {

/// What went wrong, as a caller needs to know it.
enum class ErrorKind {
    BadArgument,     ///< the caller passed something unusable: a bug or a typo
    OsError,         ///< the operating system refused (message names errno and path)
    PermissionDenied,///< a device exists but the user may not open it
    PortUnavailable, ///< no such port, or nothing answers at it
    PortInUse,       ///< the port exists, but another program holds it
    NoUnit,          ///< nothing answered, or the answer lacked the signature
    ShortReply,      ///< the unit answered with fewer bytes than the command needs
    GarbledReply,    ///< a reply that cannot be the unit's answer: too long, or at odds with another
    WriteFailed,     ///< a send did not complete
    VerifyMismatch,  ///< a read-back differs from what was written
    BadFile,         ///< a map file that cannot be used (message names line and field)
    BadValue,        ///< a typed value that is refused
    LinkLost,        ///< the connected unit stopped answering, or its device went away
};

/// An error kind with a message fit to show a user as it stands.
struct Error {
    ErrorKind kind;
    std::string message;
};

/// Either a value or an Error.
template <class T>
class Result {
public:
    Result(T value) : m_v(std::move(value)) {}
    Result(Error error) : m_v(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_v); }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return std::get<T>(m_v); }
    T& value() & { return std::get<T>(m_v); }
    T&& value() && { return std::get<T>(std::move(m_v)); }
    const Error& error() const { return std::get<Error>(m_v); }

private:
    std::variant<T, Error> m_v;
};

/// The port itself failed (permission, missing or busy, the system refused):
/// a reason the user must see before "no unit answered".
inline bool isPortFault(ErrorKind k)
{
    return k == ErrorKind::PermissionDenied || k == ErrorKind::PortUnavailable || k == ErrorKind::PortInUse ||
           k == ErrorKind::OsError;
}

/// A result that carries no value.
using Status = Result<std::monostate>;
inline Status okStatus() { return Status(std::monostate{}); }
inline Error makeError(ErrorKind kind, std::string message) { return Error{kind, std::move(message)}; }

} // namespace kyr
