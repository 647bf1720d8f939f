// A small real window for the benchmark: a status line and a progress bar
// behind the work context, standing in for the wizard window.
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
