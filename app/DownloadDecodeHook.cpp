#include "app/DownloadDecodeHook.h"

#include "app/imaging/LastDecodedPicture.h"
#include "app/link/ProtocolLayer.h"
#include "app/platform/Log.h"
#include "app/storage/Cache.h"

bool CDownloadDecodeHook::DecodePicture(const uint8_t* data, size_t size)
{
    ORIN_TRACE("CDownloadDecodeHook::DecodePicture");
    return imaging::LastDecodedPicture::DecodeAndHold(data, size);
}

void CDownloadDecodeHook::Attach(CProtocolLayer& layer, CCache& cache)
{
    ORIN_TRACE("CDownloadDecodeHook::Attach");
    layer.SetImageDecodeHook(this);
    cache.SetLastPictureHook(
        [](const std::filesystem::path& localPath) { imaging::LastDecodedPicture::SetPath(localPath); });
}
