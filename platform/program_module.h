// Parts of the program kept in loadable modules, opened only by the runs
// that use them. The chart is one: cairo and pango bring some forty shared
// libraries whose loading would otherwise lengthen every start of the
// program, chart or not, by about ten milliseconds.
#pragma once

#include <string>

namespace rova {

// The address of `symbol` in the program's module `file`, looked for beside
// the program (its build tree), then in the program's installed module
// folder, found from the program's own folder so that an installed tree
// may be moved as a whole. The module must have been built with this very
// program (`build` is compared with what the
// module's `buildSymbol` returns). The module stays loaded until the
// program ends. Returns nullptr with the reason in `error` when the module
// is missing, cannot be loaded, is from another build or lacks the symbol.
void* programModuleSymbol(const std::string& file, const char* buildSymbol,
                          const std::string& build, const char* symbol, std::string& error);

// The same for the module at `path`. Before it is loaded, the file is
// checked to be a whole shared library for this machine that names
// `buildSymbol`: one cut short or another program's is refused with the
// reason, never loaded (a file cut short would end the program with a bus
// error).
void* moduleSymbolAt(const std::string& path, const char* buildSymbol, const std::string& build,
                     const char* symbol, std::string& error);

}  // namespace rova
