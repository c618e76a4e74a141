// Options, their checks and the help text.
#include "command_line.h"

#include <optional>

#include "output.h"
#include "system_access.h"
#include "update_source.h"

namespace repair {
namespace {

void InvalidValue(RunContext& run, const wchar_t* option, const std::wstring& value,
                  const wchar_t* defaultText) {
  LogMsg(run, std::wstring(L"Invalid option argument specified for ") + option +
                  L" option, value: " + value + L". Defaulting to " + defaultText);
}

// One named option; returns false for a name that is not an option.
bool HandleOption(RunContext& run, const std::wstring& name,
                  const std::optional<std::wstring>& rawValue) {
  const std::wstring option = LowerCase(name);
  const std::wstring text = rawValue.value_or(L"");
  const std::wstring value = LowerCase(text);

  if (option == L"help") {
    run.g_help = true;
  } else if (option == L"verbose") {
    if (value == L"true") {
      run.g_verbose = true;
      DbgMsg(run, L"Verbose logging is enabled");
    } else if (value != L"false") {
      InvalidValue(run, L"/verbose", value, L"false");
    }
  } else if (option == L"halvern") {
    if (value == L"true") {
      run.g_halvern = true;
      run.g_restoreMovedFiles = true;
      run.g_updateNow = true;
      run.g_clearQuarantine = true;
      LogMsg(run, L"Fix issues enabled.");
    } else if (value != L"false") {
      InvalidValue(run, L"/halvern", value, L"false");
    }
  } else if (option == L"restoremovedfiles") {
    if (value == L"false") {
      run.g_restoreMovedFiles = false;
      DbgMsg(run, L"Restore moved files option disabled");
    } else if (value != L"true") {
      InvalidValue(run, L"/restoremovedfiles", value, L"/halvern value");
    }
  } else if (option == L"updatenow") {
    if (value == L"false") {
      run.g_updateNow = false;
      DbgMsg(run, L"Trigger update option disabled");
    } else if (value != L"true") {
      InvalidValue(run, L"/updatenow", value, L"/halvern value");
    }
  } else if (option == L"clearquarantine") {
    if (value == L"true") {
      run.g_clearQuarantine = true;
      LogMsg(run, L"Clearing the quarantine option enabled");
    } else if (value == L"false") {
      run.g_clearQuarantine = false;
      LogMsg(run, L"Clearing the quarantine option disabled");
    } else {
      InvalidValue(run, L"/clearQuarantine", value, L"/halvern value");
    }
  } else if (option == L"checkaffectedproducts") {
    if (value == L"true") {
      run.g_checkAffectedProducts = true;
      LogMsg(run, L"Checking affected products enabled");
    } else if (value == L"false") {
      run.g_checkAffectedProducts = false;
      LogMsg(run, L"Checking affected products disabled");
    } else {
      InvalidValue(run, L"/checkAffectedProducts", value, L"false");
    }
  } else if (option == L"cid") {
    run.g_cid = text;
  } else if (option == L"username") {
    run.g_username = text;
  } else if (option == L"password") {
    run.g_password = text;
  } else if (option == L"logpath") {
    run.g_logPath = text;
  } else if (option == L"usezorvancid") {
    if (value == L"true") run.g_usezorvanCid = true;
    if (value == L"false") run.g_usezorvanCid = false;
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool ParseArgumentList(RunContext& run, const std::vector<std::wstring>& arguments) {
  for (const std::wstring& argument : arguments) {
    if (argument.empty() || argument[0] != L'/') return false;
  }
  for (const std::wstring& argument : arguments) {
    const std::size_t colon = argument.find(L':');
    const std::wstring name =
        argument.substr(1, colon == std::wstring::npos ? std::wstring::npos : colon - 1);
    std::optional<std::wstring> value;
    if (colon != std::wstring::npos) value = argument.substr(colon + 1);
    if (!HandleOption(run, name, value)) {
      LogMsg(run, L"Unrecognised option specified: " + name);
      return false;
    }
  }
  return true;
}

bool ValidateArguments(RunContext& run) {
  const std::wstring& configured = run.g_determinedUpdateSource;
  if (!configured.empty()) {
    if (run.g_cid && !run.g_cid->empty()) {
      LogMsg(run, L"Overriding default CID " + configured + L" with CID " + *run.g_cid);
    } else {
      LogMsg(run,
             L"No CID specified as a command line argument, using the detected CID "
             L"location: " +
                 configured);
      run.g_cid = configured;
    }
  }

  if (run.g_usezorvanCid) {
    run.g_zorvanCid = DetermineZorvanCid(run);
    DbgMsg(run, L"Determined Zorvan default CID to fix the issues: " + run.g_zorvanCid);
  }

  if (run.g_halvern) {
    if (!run.g_cid && run.g_zorvanCid.empty()) {
      LogMsg(run,
             L"Option halvern is used but /cid is not specified and no default location "
             L"can be found");
      return false;
    }
    if (run.g_zorvanCid.empty()) {
      const std::wstring& cid = *run.g_cid;
      if (!IsWebCid(cid) && !FolderExists(run, cid)) {
        LogMsg(run, L"CID passed at command line is inaccessible, argument value is: " + cid);
        return false;
      }
      DbgMsg(run, L"Valid cid provided as argument. cid: " + cid);
    }
  }

  if (run.g_username && !(run.g_cid && IsWebCid(*run.g_cid))) {
    LogMsg(run, L"Username and password are used only for Web CIDs. If you need them");
    LogMsg(run, L"to access a local CID, use the 'net use' command before running this script");
    return false;
  }

  if (run.g_password && !run.g_username) {
    LogMsg(run, L"Password specified but username is not");
    return false;
  }

  if (run.g_username && !run.g_password) run.g_password = std::wstring();

  if (!run.g_logPath.empty() && !FolderExists(run, run.g_logPath)) {
    LogMsg(run, L"Output log path passed at command line is inaccessible, argument value is: " +
                    run.g_logPath);
    return false;
  }
  return true;
}

void DisplayHelp(RunContext& run) {
  static const wchar_t* const kLines[] = {
      L"Available command line options:",
      L"",
      L"/halvern:true - Attempt to fix known issues",
      L"/restoreMovedFiles:false - Do not restore files that were moved",
      L"    during the false positive detection while fixing issues",
      L"/checkAffectedProducts:true - Also check which products were affected by the",
      L"    move/delete operations resulting from false positive detection",
      L"/updateNow:false - Do not trigger an update at the end of fixing issues",
      L"/clearQuarantine:false - Leave quarantine manager list while fixing issues",
      L"/clearQuarantine:true - Clear quarantine manager list even when halvern",
      L"    is not enabled",
      L"/cid:<path to cid> - The path to the CID from which Zorvan Orvalis",
      L"    is deployed. e.g. \\\\server\\ZorvanUpdate\\CIDs\\S000\\ZAVZCFXP\\",
      L"    or http://server/WebCid/CIDs/S000/ZAVZCFXP",
      L"/username:<username> Username used to access the Web CID",
      L"/password:<password> Password used to access the Web CID",
      L"/useZorvanCid:true - use Zorvan's special web store when configured CID is not "
      L"available.",
      L"/verbose:true - Turns on verbose logging for the script",
      L"/logpath:<folder path> - Copies the logs generated by the script to the ",
      L"\t specified output location. e.g \\\\server\\LogOutput",
      L"/help - Display help",
      L"",
      L"For more information see KB Article: 604173",
  };
  for (const wchar_t* line : kLines) LogMsg(run, line);
}

}  // namespace repair
