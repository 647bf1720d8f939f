// An installation driven through the wizard and what it must leave behind,
// shared by the installation and the uninstallation tests.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/e2e/Config.h"
#include "tests/e2e/Wizard.h"

namespace e2e {

inline const wchar_t kUninstallEntry[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantorPro";
inline const std::wstring kUninstaller = L"Odinstalovat.exe";

struct Choices {
  std::wstring app, projects, templates, examples, group, name, company;
};

std::wstring ProgramsFolder();
// Files (name -> content) and folders (name + "\") below root; only the top
// level when deep is false.
std::map<std::wstring, std::string> Tree(const std::wstring& root, bool deep,
                                         const std::wstring& prefix = L"");
std::map<std::wstring, std::string> FilesOnly(std::map<std::wstring, std::string> tree);
// The values of the installed application, the completion flag and the
// product's entry in the list of installed apps go.
void RemoveRegistration();

// From the welcome page to the summary, filling in what the person chose.
void DriveToSummary(Wizard& w, const Choices& c);
// The wizard's next question is text with Yes and No; answer is pressed and
// the box goes away.
void AnswerQuestion(Wizard& w, const std::wstring& text, const wchar_t* shot, int answer);
// The finish page offers "&Dokončit" only; pressing it ends the program.
void Finish(Wizard& w);
// What payload holds is installed as c says.
void ExpectInstalled(const Choices& c, bool examplesExistedBefore,
                     const std::wstring& payload = TheConfig().payload);

// The PC as far as an installation reaches: the folders given, the Start
// menu, the temporary folders, and the registry below HKLM\Software (32-bit
// view).
struct Snapshot {
  std::map<std::wstring, std::string> files, registry;
};
Snapshot Take(const std::vector<std::wstring>& roots);
// The entries in which two maps differ, for a readable failure.
std::vector<std::string> Differences(const std::map<std::wstring, std::string>& a,
                                     const std::map<std::wstring, std::string>& b);

// Removes the product as Windows' list of installed apps does, through Wine's
// uninstaller, answering the question yes; shots named after shotPrefix when
// it is given. Returns the closing message once the uninstaller has ended.
std::wstring UninstallFromList(const std::wstring& shotPrefix);

// Runs a drive; a step that could not be done fails the test with its reason.
template <typename Steps>
void Drive(Steps drive) {
  try {
    drive();
  } catch (const DriveError& e) {
    FAIL() << e.what();
  }
}

}  // namespace e2e
