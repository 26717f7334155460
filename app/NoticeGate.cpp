#include "app/NoticeGate.h"

#include "rz4/StatusCode.h"

bool NoticeGate::admit(uint32_t code) {
    return code != NotifyData || !dataNoticeWaiting_.exchange(true);
}

void NoticeGate::received(uint32_t code) {
    if (code == NotifyData)
        dataNoticeWaiting_.store(false);
}
