// Socket error numbers and their texts. The program numbers socket errors as the classic Windows
// socket library does (10061 is a refused connection), so messages stay the same on every
// platform; POSIX errno values are translated into those numbers here.
#pragma once

#include <string>

namespace kestrix {

// The numbers that the socket code treats specially.
inline constexpr int kSocketInterrupted = 10004;
inline constexpr int kSocketWouldBlock = 10035;
inline constexpr int kSocketNotConnected = 10057;
inline constexpr int kSocketCannotAssignAddress = 10049;
inline constexpr int kSocketTimedOut = 10060;

// The socket error number for a POSIX errno; an errno without a counterpart is answered as is
// (it is below 10000, so no table text matches it).
int socketErrorNumber(int posixErrno);

// "10061:Connection refused" for a number of the table, "Unknown Error No. N" otherwise.
std::string socketErrorText(int number);

// Raises the socket error text of `number` as an error of kind Socket.
[[noreturn]] void throwSocketError(int number);

} // namespace kestrix
