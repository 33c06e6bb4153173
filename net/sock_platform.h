// The few socket and file operations the socket HTTP client stands on:
// Windows Sockets and Win32 files in the client, BSD sockets and POSIX files
// in the native build, so that the same client code runs in both.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

using NetSocket = std::intptr_t;
inline constexpr NetSocket kNoSocket = -1;

// Asks for Windows Sockets 2.2 and succeeds only when exactly that version
// is granted; never balanced by a clean-up on success.
bool NetStartup();
// A TCP stream socket (protocol looked up by the name "tcp").
NetSocket NetOpen();
// Resolves `name` and connects to its first address.
bool NetConnect(NetSocket s, const std::string& name, std::uint16_t port);
bool NetSetReceiveTimeout(NetSocket s, unsigned ms);
// One send call for the whole buffer; false only when it reports an error.
bool NetSend(NetSocket s, const char* data, std::size_t size);
// Bytes received; 0 when the peer closed, below 0 on an error or time-out.
int NetReceive(NetSocket s, char* buffer, int size);
void NetShutdown(NetSocket s);
void NetClose(NetSocket s);

using LocalFile = std::intptr_t;
inline constexpr LocalFile kNoFile = -1;

// Opens for writing at its end, creating it when missing; others may read,
// not write.
LocalFile FileOpenAppend(const std::wstring& path);
// Creates (or empties) for writing; others may read, not write.
LocalFile FileCreateEmpty(const std::wstring& path);
std::int64_t FileSizeOf(LocalFile f);
// Empties the file; writing starts again at its beginning.
bool FileEmpty(LocalFile f);
// Writes and flushes, so an interruption loses at most this chunk.
bool FileAppend(LocalFile f, const char* data, std::size_t size);
void FileClose(LocalFile f);
// Moves `from` onto `to`, replacing it (copying across volumes if needed).
bool FileMoveReplace(const std::wstring& from, const std::wstring& to);

// Addresses and entity names cross here between the client's wide text and
// the narrow text on the wire (the ANSI code page on Windows).
std::string NarrowText(const std::wstring& text);
std::wstring WideText(const std::string& text);
