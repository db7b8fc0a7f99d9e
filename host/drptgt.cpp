#include "host/drptgt.h"

#include "resources/resource.h"

namespace plenth {

constinit const ClassInfo DrpTgt::kClass = ClassRow<DrpTgt, IDrpTgt>({
    .name = "DrpTgt",
    .clsid = CLSID_DrpTgt,
    .scriptId = IDR_DRPTGT,
    .threadingModel = "Apartment",
});

}  // namespace plenth
