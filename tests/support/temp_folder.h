// A scratch folder that is the current folder for the life of one test.
#pragma once

#include <string>

#include "tests/support/scratch.h"

namespace wbtest {

class TempFolder {
 public:
  const std::string& path() const { return scratch_.path(); }

 private:
  ScratchDir scratch_;
  CurrentFolder current_{scratch_.path()};
};

}  // namespace wbtest
