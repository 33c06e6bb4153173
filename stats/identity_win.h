// Machine identity, the adapter address and payload sealing.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

std::wstring GetDiskSerial();
std::wstring GetCpuText();
// The identity text: disk serial and "|" when there is one, then the processor text.
std::wstring GetMachineIdentity();
// The first adapter's address; false (output untouched) on failure.
bool GetMacString(std::wstring& output);
// MD5 of the text in the ANSI code page, over as many bytes as it has characters.
std::string Md5Hex(const std::wstring& text);
// The identity query, cut to capacity - 1 characters.
std::wstring BuildIdentityQuery(std::size_t capacity);

// AES-128-CBC with the client's key and IV. The result holds the sealed
// bytes followed by two zero bytes that `count` does not include; empty on
// failure.
struct SealedBytes {
    std::vector<BYTE> bytes;
    DWORD count = 0;
};
bool SealPayload(const BYTE* data, DWORD count, SealedBytes& out);
// How the provider was acquired by the last sealing on this thread
// (0: default container, 1: fallback without a container, -1: none).
int LastSealAcquirePath();

// The login entry of the login page's "setpauth": sealed key and letter-hex
// sealed value under section "Lm03000" of the file at `path`.
bool StoreSealedEntry(const std::wstring& argument, const std::wstring& path);
