#pragma once
// The real window: the toolkit interface on Qt 6 Widgets.  This header
// carries no Qt type, so the program's entry point can choose the backend
// without seeing Qt.

#include <memory>

#include "toolkit/toolkit.h"

namespace tarnivox {

// Creates the Qt application on first use (argc and argv must outlive the
// program, as those of main do) and a backend whose windows live in it.
std::unique_ptr<ToolkitBackend> make_qt_backend(int& argc, char** argv);

}  // namespace tarnivox
