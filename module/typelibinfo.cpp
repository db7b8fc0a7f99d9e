#include "module/typelibinfo.h"

#include "module/classtable.h"

namespace plenth {

const registry::TypeLibInfo& ModuleTypeLib() {
  static const registry::TypeLibInfo library = [] {
    registry::TypeLibInfo lib{"{3D6E7CD9-083F-41FA-9996-0E104743E9BA}", "PLENTHTOOLSLib", "1.0", 0x409,
                              "PlenthTools 1.0 Type Library", {}};
    // Every class of the table, with its default interface.
    for (const ClassInfo* c : ClassTable())
      lib.classes.push_back({c->name, com::GuidToString(c->clsid), std::string("I") + c->name,
                             com::GuidToString(c->defaultInterface), c->dual});
    // Classes the library describes that the module does not serve.
    lib.classes.push_back({"EventHelper", "{D23D9124-7998-437B-988C-D2E1EF6A2751}", "IEventHelper",
                           "{967BA7B4-23F1-46EE-934D-BE7E6F25D0CC}", true});
    lib.classes.push_back({"DownhillSlopeTool", "{C2833060-524D-4C5B-9498-83663F24E4F4}", "IDownhillSlopeTool",
                           "{F7EC7D87-CDA5-485B-BF31-6F1BDCE6D1A6}", false});
    lib.classes.push_back({"SlopeLengthTool", "{0AF3598E-1B91-41FB-84EF-F0FE821C10CC}", "ISlopeLengthTool",
                           "{49E6DB22-0012-4854-8AE9-3FD24762C0BE}", false});
    return lib;
  }();
  return library;
}

}  // namespace plenth
