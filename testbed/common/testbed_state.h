/* Shared by the testbed programs: their switches (registry values under
   HKLM\SOFTWARE\ZorvanTestbed\<component>, always the native view) and their records (one
   line per event appended to C:\ProgramData\ZorvanTestbed\<component>.log, UTF-8). */
#ifndef TESTBED_STATE_H
#define TESTBED_STATE_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A DWORD switch of the component, or `fallback` when it is not set. */
DWORD TestbedReadNumber(const wchar_t* component, const wchar_t* name, DWORD fallback);

/* A string switch of the component into `out` (at most `capacity` characters with the end);
   `fallback` when it is not set. */
void TestbedReadText(const wchar_t* component, const wchar_t* name, const wchar_t* fallback,
                     wchar_t* out, DWORD capacity);

/* Appends "<local time> <text>" and CR LF to the component's record file, creating the folder
   and the file when missing. Several processes may append at once. */
void TestbedRecord(const wchar_t* component, const wchar_t* text);

#ifdef __cplusplus
}
#endif

#endif
