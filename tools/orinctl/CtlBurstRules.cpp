#include "tools/orinctl/CtlBurstRules.h"

#include "app/link/ProtocolLayer.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"
#include "app/storage/Cache.h"
#include "app/storage/ObjectNames.h"

CtlBurstRules::CtlBurstRules(CProtocolLayer& layer) : m_pModel(std::make_unique<CCache>(&layer)) {}

CtlBurstRules::~CtlBurstRules() = default;

bool CtlBurstRules::OnPictureTaken(const std::string& fileName, const std::string& newest)
{
    ORIN_TRACE("CtlBurstRules::OnPictureTaken");
    const std::u16string name = platform::FromUtf8(fileName);
    const std::vector<std::u16string> parts = storage::SplitComponents(name);
    if (parts.size() >= 2 && parts.front() == u".") {
        std::u16string prefix = u"./";
        for (size_t i = 1; i + 1 < parts.size(); ++i) {
            prefix += parts[i] + u"/";
            if (m_pModel->FindInTree(prefix) == nullptr && !m_pModel->Add(prefix, false)) {
                ORIN_LOG_WARNING("CtlBurstRules::OnPictureTaken", "Cannot add folder %s", platform::ToUtf8(prefix).c_str());
                break;
            }
        }
    }
    if (!m_pModel->Add(name, true)) {
        ORIN_LOG_ERROR("CtlBurstRules::OnPictureTaken", "Cannot add picture %s", fileName.c_str());
    }
    return fileName == newest;
}
