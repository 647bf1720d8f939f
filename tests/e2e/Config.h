// What the driver was told on its command line.
#pragma once

#include <string>

namespace e2e {

struct Config {
  std::wstring medium;   // root of the installation medium
  std::wstring payload;  // the payload the medium was packed from
  std::wstring medium2;  // a medium of the next version, and its payload
  std::wstring payload2;
  std::wstring vantorPro;  // the built demo application
  std::wstring bdeSetup;   // the built database engine setup stand-in
  bool demo = false;       // show the wizard at work instead of testing
  unsigned pauseMs = 0;    // in the demo, how long each page stays
};

Config& TheConfig();

}  // namespace e2e
