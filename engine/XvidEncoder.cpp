#include "engine/XvidEncoder.h"

#include <xvid.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstring>
#include <mutex>

namespace {

constexpr int kVopFlags = XVID_VOP_HALFPEL | XVID_VOP_INTER4V | XVID_VOP_TRELLISQUANT | XVID_VOP_HQACPRED;
constexpr int kMotionFlags = XVID_ME_ADVANCEDDIAMOND16 | XVID_ME_ADVANCEDDIAMOND8 |
                             XVID_ME_HALFPELREFINE16 | XVID_ME_HALFPELREFINE8 |
                             XVID_ME_EXTSEARCH16 | XVID_ME_EXTSEARCH8 | XVID_ME_CHROMA_PVOP |
                             XVID_ME_CHROMA_BVOP;
static_assert(kVopFlags == 0x8E && kMotionFlags == 0x3C53);

bool GlobalInit()
{
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        xvid_gbl_init_t init;
        std::memset(&init, 0, sizeof init);
        init.version = XVID_VERSION;
        init.cpu_flags = 0;  // detected by the library, assembler on
        init.debug = 0;
        ok = xvid_global(nullptr, XVID_GBL_INIT, &init, nullptr) >= 0;
    });
    return ok;
}

}  // namespace

CXvidEncoder::CXvidEncoder() = default;

CXvidEncoder::~CXvidEncoder()
{
    XvidEncoderStop();
    sws_freeContext(sws_);
}

void CXvidEncoder::XvidEncoderStop()
{
    if (handle_)
        xvid_encore(handle_, XVID_ENC_DESTROY, nullptr, nullptr);
    handle_ = nullptr;
    width_ = height_ = 0;
}

bool CXvidEncoder::XvidEncoderInit(int width, int height)
{
    XvidEncoderStop();
    if (!GlobalInit())
        return false;
    xvid_enc_create_t create;
    std::memset(&create, 0, sizeof create);
    create.version = XVID_VERSION;
    create.profile = XVID_PROFILE_AS_L4;
    create.width = width;
    create.height = height;
    create.num_threads = threads_;
    create.max_bframes = 0;
    create.global = 0;
    create.fincr = 1;
    create.fbase = fps_;
    create.max_key_interval = fps_ * 10;
    create.bquant_ratio = 150;
    create.bquant_offset = 100;
    if (xvid_encore(nullptr, XVID_ENC_CREATE, &create, nullptr) < 0 || !create.handle)
        return false;
    handle_ = create.handle;
    width_ = width;
    height_ = height;
    const std::size_t luma = std::size_t(width) * std::size_t(height);
    const std::size_t chroma = std::size_t((width + 1) / 2) * std::size_t((height + 1) / 2);
    input_.assign(luma + 2 * chroma, 0);
    // Intra frames at the library's quantiser stay well below three bytes a pixel.
    output_.assign(luma * 3 + 4096, 0);
    return true;
}

int CXvidEncoder::Encode(const std::uint8_t* const planes[3], const int strides[3],
                         int pixel_format, int width, int height, bool force_key)
{
    key_ = false;
    if (!planes || !strides || !planes[0] || width <= 0 || height <= 0 || width > kMaxWidth ||
        height > kMaxHeight)
        return -1;
    if (!handle_ || width != width_ || height != height_) {
        if (!XvidEncoderInit(width, height))
            return -1;
        force_key = true;
    }
    const auto src_format = static_cast<AVPixelFormat>(pixel_format);
    sws_ = sws_getCachedContext(sws_, width, height, src_format, width, height, AV_PIX_FMT_YUV420P,
                                SWS_POINT, nullptr, nullptr, nullptr);
    if (!sws_)
        return -1;
    std::uint8_t* dst[4] = {};
    int dst_strides[4] = {};
    InputPlanes(dst, dst_strides);
    const std::uint8_t* src[4] = {planes[0], planes[1], planes[2], nullptr};
    const int src_strides[4] = {strides[0], strides[1], strides[2], 0};
    if (sws_scale(sws_, src, src_strides, 0, height, dst, dst_strides) != height)
        return -1;
    return XvidEncodeFrame(force_key);
}

void CXvidEncoder::InputPlanes(std::uint8_t* planes[3], int strides[3])
{
    // Y, then U and V of a quarter each, one after the other.
    const std::size_t luma = std::size_t(width_) * std::size_t(height_);
    const int cw = (width_ + 1) / 2;
    planes[0] = input_.data();
    planes[1] = planes[0] + luma;
    planes[2] = planes[1] + std::size_t(cw) * std::size_t((height_ + 1) / 2);
    strides[0] = width_;
    strides[1] = strides[2] = cw;
}

int CXvidEncoder::XvidEncodeFrame(bool force_key)
{
    std::uint8_t* planes[3] = {};
    int strides[3] = {};
    InputPlanes(planes, strides);
    xvid_enc_frame_t frame;
    std::memset(&frame, 0, sizeof frame);
    frame.version = XVID_VERSION;
    frame.vol_flags = 0;
    frame.vop_flags = kVopFlags;
    frame.motion = kMotionFlags;
    frame.input.csp = XVID_CSP_I420;
    for (int i = 0; i < 3; ++i) {
        frame.input.plane[i] = planes[i];
        frame.input.stride[i] = strides[i];
    }
    frame.type = force_key ? XVID_TYPE_IVOP : XVID_TYPE_AUTO;
    frame.quant = 0;
    frame.bitstream = output_.data();
    frame.length = int(output_.size());
    xvid_enc_stats_t stats;
    std::memset(&stats, 0, sizeof stats);
    stats.version = XVID_VERSION;
    const int size = xvid_encore(handle_, XVID_ENC_ENCODE, &frame, &stats);
    if (size < 0 || std::size_t(size) > output_.size())
        return -1;
    key_ = size > 0 && (frame.out_flags & XVID_KEYFRAME);
    return size;
}
