#include "platform/com/data_object.h"

#include "platform/com/memory.h"

void ReleaseStgMedium(STGMEDIUM* medium) {
    if (!medium) return;
    if (medium->pUnkForRelease) {
        medium->pUnkForRelease->Release();
    } else {
        switch (medium->tymed) {
        case TYMED_HGLOBAL: GlobalFree(medium->hGlobal); break;
        case TYMED_ISTREAM:
            if (medium->pstm) medium->pstm->Release();
            break;
        case TYMED_FILE: CoTaskMemFree(medium->lpszFileName); break;
        default: break;
        }
    }
    *medium = STGMEDIUM();
}
