#include "devices/NullSound.h"

template <class Interface, TSoundDirection Dir>
bool TNullSoundDevice<Interface, Dir>::DeviceName(int id, std::string& /*name*/) {
    lastError_ = sound_format::DeviceMissingText(Dir, id);
    return false;
}

template <class Interface, TSoundDirection Dir>
bool TNullSoundDevice<Interface, Dir>::SetDevice(int id) {
    deviceId_ = sound_format::ClampDeviceId(id);
    return true;
}

template <class Interface, TSoundDirection Dir>
bool TNullSoundDevice<Interface, Dir>::Open() {
    lastError_ = sound_format::kNoDevice;
    return false;
}

template <class Interface, TSoundDirection Dir>
bool TNullSoundDevice<Interface, Dir>::Start() {
    lastError_ = sound_format::NotOpenText(Dir, sound_format::kNoDevice);
    return false;
}

template class TNullSoundDevice<ISoundOut, TSoundDirection::Output>;
template class TNullSoundDevice<ISoundIn, TSoundDirection::Input>;
