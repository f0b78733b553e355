#pragma once

#include <string>

namespace lumbo::tools {

class SimulatedDatabase;

// Fills the synchronised folder with one item of every kind the badges tell
// apart, and lists them in the database as the client would.
void CreateSampleTree(const std::wstring& syncFolder, SimulatedDatabase& database);

}  // namespace lumbo::tools
