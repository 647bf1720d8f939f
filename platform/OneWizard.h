// One wizard at a time on the machine, whatever session it runs in.
#pragma once

#include <windows.h>

#include "platform/Handles.h"

class OneWizard {
 public:
  OneWizard() = default;
  ~OneWizard();
  OneWizard(const OneWizard&) = delete;
  OneWizard& operator=(const OneWizard&) = delete;

  // Takes the machine's one wizard; false when another wizard has it.
  bool Take();
  // Holds the lock along with the program that took it and started this
  // one (the uninstaller's working copy): when that program ends, the lock
  // stays taken until this one lets go. False when it cannot be had.
  bool Join();
  // After a failed Take: whether that wizard runs in this session.
  bool OtherRunsInThisSession() const;

 private:
  bool Hold(bool join);

  HANDLE boundary_ = nullptr;   // the boundary descriptor, when the system has them
  HANDLE namespace_ = nullptr;  // the private namespace, when made or opened
  platform::UniqueHandle mutex_;
  platform::UniqueHandle sessionMark_;
};
