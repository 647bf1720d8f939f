#include "install/Session.h"

#include <utility>

namespace install {

Session::Session(std::wstring mediumDir) : mediumDir_(std::move(mediumDir)) {
  if (!mediumDir_.empty() && mediumDir_.back() == L'\\') mediumDir_.pop_back();
  for (std::wstring folder = mediumDir_; !folder.empty();) {
    if (const platform::FileIdentity id = platform::IdentityAt(folder); id.Known())
      mediumFolders_.push_back(id);
    std::wstring parent = platform::ExtractFilePath(folder);
    if (parent.size() > 3 && parent.back() == L'\\') parent.pop_back();
    if (parent == folder) break;
    folder = std::move(parent);
  }
}

Recovery Session::Recover() const {
  return RecoverUnfinishedRun(mediumFolders_);
}

InstallChoices Session::Completed(InstallChoices choices) const {
  choices.mediumDir = mediumDir_;
  choices.madeEarlier = made_;
  return choices;
}

FolderRefusal Session::JudgeFolders(const InstallChoices& choices) const {
  return JudgeChosenFolders(Completed(choices), work_);
}

InstallResult Session::Run(InstallChoices choices, InstallHost& host) {
  choices = Completed(std::move(choices));
  InstallResult result = Install(choices, host, std::move(work_), &journal_);
  Keep(result);
  return result;
}

void Session::Keep(InstallResult& result) {
  engine_ = std::move(result.engine);
  work_ = std::move(result.workFolder);
  made_ = result.madeFolders;
}

bool Session::NeedsRollBack() const {
  return journal_.Active() && journal_.CurrentPhase() != Journal::Phase::Done;
}

bool Session::RollBack(const Journal::Progress& progress) {
  left_.clear();
  if (!NeedsRollBack()) return true;
  // Nothing of the runs stays held: the rollback removes through its own.
  work_.Release();
  engine_.reset();
  made_.clear();
  const bool whole = journal_.RollBack(mediumFolders_, false, progress);
  if (!whole) left_ = journal_.Left();
  // A run after this one starts from the journal on disk.
  journal_ = Journal();
  return whole;
}

bool Session::Finish() {
  if (work_ && !work_.RemoveTree(mediumFolders_)) return false;
  return journal_.Finish(mediumFolders_);
}

}  // namespace install
