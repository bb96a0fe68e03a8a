/* Refers to every one of the 26 exports, so that linking it proves that an
 * import library resolves them all; the program only prints their count. */
#include <kqsdk.h>

#include <stdio.h>

typedef void (*AnyFunction)(void);

int main(void) {
    const AnyFunction functions[] = {
        (AnyFunction)KQ_ClearEventCallBack, (AnyFunction)KQ_ConnectCamera,
        (AnyFunction)KQ_CreateCameraObject, (AnyFunction)KQ_DestroyCameraObject,
        (AnyFunction)KQ_DisconnectCamera, (AnyFunction)KQ_FinishSDK,
        (AnyFunction)KQ_GetDeviceInfo, (AnyFunction)KQ_GetDeviceList,
        (AnyFunction)KQ_GetDevicePropDesc, (AnyFunction)KQ_GetDevicePropValue,
        (AnyFunction)KQ_GetDllsVersion, (AnyFunction)KQ_GetFunctions,
        (AnyFunction)KQ_InitiateReleaseControl, (AnyFunction)KQ_RC_DoAeAfAwb,
        (AnyFunction)KQ_RC_FocusLock, (AnyFunction)KQ_RC_FocusUnlock,
        (AnyFunction)KQ_RC_GetChangedReleaseParamesList, (AnyFunction)KQ_RC_GetNumAvailableShot,
        (AnyFunction)KQ_RC_GetReleasedData, (AnyFunction)KQ_RC_Release,
        (AnyFunction)KQ_RC_StartViewFinder, (AnyFunction)KQ_RC_TermViewFinder,
        (AnyFunction)KQ_SetDevicePropValue, (AnyFunction)KQ_SetEventCallBack,
        (AnyFunction)KQ_StartSDK, (AnyFunction)KQ_TerminateReleaseControl,
    };
    unsigned resolved = 0;
    unsigned i;
    for (i = 0; i < sizeof functions / sizeof functions[0]; ++i) resolved += functions[i] != 0;
    printf("%u\n", resolved);
    return resolved == 26 ? 0 : 1;
}
