// What orinctl watch does with each announced picture, by the program's rules for new pictures:
// every folder level and the file are entered in the storage model; only the picture the camera
// announced last is downloaded at once, older pictures of a burst are recorded and skipped (and
// fetched later when asked).
#pragma once

#include <memory>
#include <string>

class CCache;
class CProtocolLayer;

class CtlBurstRules {
public:
    explicit CtlBurstRules(CProtocolLayer& layer);
    ~CtlBurstRules();
    CtlBurstRules(const CtlBurstRules&) = delete;
    CtlBurstRules& operator=(const CtlBurstRules&) = delete;

    // Enters the picture in the model; true when it is the newest announced picture (download
    // now), false for an older picture of a burst.
    bool OnPictureTaken(const std::string& fileName, const std::string& newest);

private:
    std::unique_ptr<CCache> m_pModel;
};
