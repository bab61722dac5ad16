#include "decode.h"

#include "ax25_address.h"
#include "ax25_control.h"
#include "kiss_unpack.h"

namespace quillon {

DecoderState DecodeAx25Frame(const ReceiveState& rx)
{
    DecoderState dec;
    UnpackKissFrame(rx, dec);
    const int controlPosition = DecodeAddressField(dec);
    DecodeControlField(dec, controlPosition);
    BuildAddressText(dec);
    return dec;
}

}  // namespace quillon
