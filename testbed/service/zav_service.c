/* The anti-virus product's service "ZAVService" as the testbed runs it: a real service program
   that reports its states to the Service Control Manager and whose start and stop can be slowed
   down or made to fail through switches (HKLM\SOFTWARE\ZorvanTestbed\ZAVService, read at every
   start and stop, and RefuseStop all the time while running):
     StartDelayMs  time spent in START_PENDING before RUNNING (default 0)
     StopDelayMs   time spent in STOP_PENDING before STOPPED (default 0)
     FailStart     non-zero: the start ends in STOPPED with that Win32 exit code
     ExitAtStart   non-zero: the process ends with that code before it reaches the service
                   dispatcher, so the start request itself fails
     RefuseStop    non-zero: while it is set, the running service does not accept stop
                   requests (ControlService then fails with ERROR_INVALID_SERVICE_CONTROL)
   Every state change is recorded in C:\ProgramData\ZorvanTestbed\ZAVService.log. */
#include <windows.h>
#include <stdio.h>

#include "testbed_state.h"

#define COMPONENT L"ZAVService"

static SERVICE_STATUS_HANDLE statusHandle;
static SERVICE_STATUS status;
static HANDLE stopRequested;

static void Report(DWORD state, DWORD exitCode, DWORD waitHint) {
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwWin32ExitCode = exitCode;
  status.dwServiceSpecificExitCode = 0;
  status.dwWaitHint = waitHint;
  if (state == SERVICE_RUNNING) {
    status.dwControlsAccepted =
        TestbedReadNumber(COMPONENT, L"RefuseStop", 0) ? 0 : SERVICE_ACCEPT_STOP;
  } else {
    status.dwControlsAccepted = 0;
  }
  if (state == SERVICE_RUNNING || state == SERVICE_STOPPED) {
    status.dwCheckPoint = 0;
  } else {
    ++status.dwCheckPoint;
  }
  SetServiceStatus(statusHandle, &status);
}

/* Stays in a pending state for `milliseconds`, telling the manager about progress. */
static void Linger(DWORD pendingState, DWORD milliseconds) {
  DWORD waited = 0;
  while (waited < milliseconds) {
    DWORD step = milliseconds - waited < 500 ? milliseconds - waited : 500;
    Sleep(step);
    waited += step;
    Report(pendingState, NO_ERROR, 2000);
  }
}

static DWORD WINAPI Handler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context) {
  (void)eventType; (void)eventData; (void)context;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      if (status.dwControlsAccepted & SERVICE_ACCEPT_STOP) {
        TestbedRecord(COMPONENT, L"stop-requested");
        SetEvent(stopRequested);
        return NO_ERROR;
      }
      return ERROR_CALL_NOT_IMPLEMENTED;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

static void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
  (void)argc; (void)argv;
  statusHandle = RegisterServiceCtrlHandlerExW(COMPONENT, Handler, NULL);
  if (!statusHandle) return;
  stopRequested = CreateEventW(NULL, TRUE, FALSE, NULL);

  DWORD startDelay = TestbedReadNumber(COMPONENT, L"StartDelayMs", 0);
  DWORD failStart = TestbedReadNumber(COMPONENT, L"FailStart", 0);
  TestbedRecord(COMPONENT, L"start-pending");
  Report(SERVICE_START_PENDING, NO_ERROR, startDelay + 2000);
  Linger(SERVICE_START_PENDING, startDelay);
  if (failStart) {
    wchar_t line[64];
    swprintf(line, 64, L"start-failed %lu", (unsigned long)failStart);
    TestbedRecord(COMPONENT, line);
    Report(SERVICE_STOPPED, failStart, 0);
    return;
  }
  Report(SERVICE_RUNNING, NO_ERROR, 0);
  TestbedRecord(COMPONENT, L"running");

  /* RefuseStop is followed while running, so a test can switch it on and off. */
  DWORD accepted = status.dwControlsAccepted;
  while (WaitForSingleObject(stopRequested, 200) == WAIT_TIMEOUT) {
    DWORD wanted = TestbedReadNumber(COMPONENT, L"RefuseStop", 0) ? 0 : SERVICE_ACCEPT_STOP;
    if (wanted != accepted) {
      Report(SERVICE_RUNNING, NO_ERROR, 0);
      accepted = status.dwControlsAccepted;
    }
  }

  DWORD stopDelay = TestbedReadNumber(COMPONENT, L"StopDelayMs", 0);
  TestbedRecord(COMPONENT, L"stop-pending");
  Report(SERVICE_STOP_PENDING, NO_ERROR, stopDelay + 2000);
  Linger(SERVICE_STOP_PENDING, stopDelay);
  TestbedRecord(COMPONENT, L"stopped");
  Report(SERVICE_STOPPED, NO_ERROR, 0);
}

int wmain(void) {
  DWORD exitAtStart = TestbedReadNumber(COMPONENT, L"ExitAtStart", 0);
  if (exitAtStart) {
    /* Never reaches the dispatcher: the manager's start request itself fails. */
    TestbedRecord(COMPONENT, L"exit-at-start");
    return (int)exitAtStart;
  }
  static wchar_t name[] = COMPONENT;
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {NULL, NULL}};
  if (!StartServiceCtrlDispatcherW(table)) {
    fwprintf(stderr, L"ZAVService runs only as a service (error %lu)\n",
             (unsigned long)GetLastError());
    return 1;
  }
  return 0;
}
