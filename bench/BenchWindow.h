// The window the benchmark works in: the wizard window on its copy page,
// with its status line and progress bar behind the work context.
#pragma once

#include <windows.h>

#include <memory>

#include "fileops/WorkContext.h"

namespace bench {

class WindowContext : public fileops::WorkContext {
 public:
  virtual HWND Window() const = 0;
  virtual void SetProgressMax(int max) = 0;
  // Puts the latest text and position on the screen now.
  virtual void Flush() = 0;
};

// What the window may leave out, to measure what each part costs.
enum Omit : unsigned {
  kOmitNothing = 0,
  kOmitStatus = 1,    // the status line
  kOmitProgress = 2,  // the progress bar
  kOmitPump = 4,      // letting messages through
};

// Creates and shows the window with its context.
std::unique_ptr<WindowContext> CreateWorkWindow(unsigned omit = kOmitNothing);

}  // namespace bench
