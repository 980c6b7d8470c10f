// Physical key numbers of the device-layer keyboard turned into the virtual-key codes the
// keyboard assignment table speaks in.
#pragma once

namespace dxinput {

// The virtual-key code the device-layer keyboard reports for physical key `scancode` (USB HID
// usage id, as the platform numbers its scancodes); 0 for keys it does not map and for numbers
// outside 0 .. platform::SC_COUNT - 1.
int VkFromDeviceKey(int scancode);

}  // namespace dxinput
