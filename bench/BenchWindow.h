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

// Creates and shows the window with its context.
std::unique_ptr<WindowContext> CreateWorkWindow();

}  // namespace bench
