// The stand-in browser's record of what it did toward its host, in order:
// one line per host call ("host GetHostInfo") and per event fired
// ("event BeforeNavigate2 http://..."). Tests read it in the process through
// the DLL's StandInRecord export, or from the file named by the environment
// variable LMSTANDIN_RECORD, where every process that loads the control
// appends "pid<TAB>line".
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

void Record(const std::wstring& line);
// The lines since the last clear, each ending in '\n'.
std::wstring RecordText(bool clear);

// A BSTR holding s (embedded zeros kept); the caller frees it.
inline BSTR Bstr(const std::wstring& s) { return ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }
