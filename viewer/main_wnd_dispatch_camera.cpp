// Camera actions of the dispatcher (ViewerMessageCameraCommand) and the exchange of motion-
// detection parameters with a camera over the camera link.
#include "viewer/main_wnd.h"

#include <cstdarg>
#include <cstdio>

#include "cameras/camera_link.h"

namespace {

// Where a camera is looked up by name, and the cameras' web site.
constexpr const char* kCameraDirectoryAddress = "cameras.lumarix.net";
constexpr const char* kCameraSiteAddress = "http://www.lumarix.net/cameras";
constexpr UINT kCameraResumeDelayMs = 1000;

}  // namespace

LRESULT CMainWnd::OnCameraCommand(int32_t code, LPARAM lParam)
{
    switch (code) {
    case CameraUiConnect: {
        const char* name = reinterpret_cast<const char*>(lParam);
        if (!name) {
            RunCommandText("DisconnectCamera();", false);
            break;
        }
        if (!IsSafeCameraName(name))
            break;
        CTexto command;
        if (m_connectByName)
            command.Format("ConnectCameraName(\"%s/%s\");", kCameraDirectoryAddress, name);
        else
            command.Format("ConnectCamera(\"%s\");", name);
        RunCommandText(command.GetText(), false);
        break;
    }
    case CameraUiDetectionParams:
        if (lParam == DetectionParamsFetch)
            FetchDetectionParams();
        else if (lParam == DetectionParamsSend)
            SendDetectionParams();
        else if (lParam == DetectionParamsRefresh && m_detectionDlg.m_hWnd)
            m_detectionDlg.RefreshControls();
        break;
    case CameraUiShowProperties:
        RunCommandText("ShowCameraProperties(1);", false);
        break;
    case CameraUiShowDetection:
        m_detectionDlg.m_currentFrame = &m_currentFrame;
        m_detectionDlg.Show(m_hostWnd);
        break;
    case CameraUiStartCapture:
        RunCommandText("StartCapture('',3);", false);
        break;
    case CameraUiStopCapture:
        RunCommandText("StopCapture();", false);
        break;
    case CameraUiRestartCameraTimer:
        KillViewerTimer(ViewerTimerResumeCamera);
        SetViewerTimer(ViewerTimerResumeCamera, kCameraResumeDelayMs);
        break;
    case CameraUiExportPanoramas:
        if (m_currentFrame)
            m_currentFrame->StopCameras();
        break;
    case CameraUiRefreshProperties:
        // Not built yet: the properties dialog has no window, so it is never visible.
        break;
    case CameraUiOpenCameraSite: {
        CTexto command;
        command.Format("OpenURL(\"%s\");", kCameraSiteAddress);
        RunCommandText(command.GetText(), false);
        break;
    }
    default:
        break;
    }
    return 0;
}

bool CMainWnd::SendCameraCommand(const char* format, ...)
{
    if (m_cameraAddress.GetLength() == 0 || !format)
        return false;
    char text[kCameraRequestMaxLength + 1];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length <= 0 || length > kCameraRequestMaxLength)
        return false;
    if (!m_cameraLink.Connect(m_cameraAddress.GetText(), m_serverPort, &m_cancel,
                              kCameraConnectTimeoutMs))
        return false;
    return SendFramed(m_cameraLink, text, length);
}

bool CMainWnd::FetchDetectionParams()
{
    if (!SendCameraCommand("GETDETECTIONPARAMS")) {
        m_cameraLink.CloseConnection();
        return false;
    }
    // The reply is the whole block or nothing: any other length leaves every value as it was.
    int32_t count = 0;
    uint8_t block[kDetectionParamsBytes];
    bool complete = ReceiveInt32(m_cameraLink, &count) && count == kDetectionParamsBytes &&
                    m_cameraLink.Recv(block, kDetectionParamsBytes) == kDetectionParamsBytes;
    m_cameraLink.CloseConnection();
    if (!complete)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_sceneLock);
        if (m_currentFrame)
            m_currentFrame->motionDetection = GetInt32(block);
    }
    m_detectionDlg.m_method = GetInt32(block + 4);
    for (int i = 0; i < kDetectionParamValues; i++)
        m_detectionDlg.m_values[i] = GetInt32(block + 8 + 4 * i);
    if (m_detectionDlg.m_hWnd)
        m_detectionDlg.RefreshControls();
    return true;
}

bool CMainWnd::SendDetectionParams()
{
    uint8_t block[kDetectionParamsBytes];
    {
        std::lock_guard<std::mutex> lock(m_sceneLock);
        PutInt32(block, m_currentFrame ? m_currentFrame->motionDetection : 0);
    }
    PutInt32(block + 4, m_detectionDlg.m_method);
    for (int i = 0; i < kDetectionParamValues; i++)
        PutInt32(block + 8 + 4 * i, m_detectionDlg.m_values[i]);
    bool sent = SendCameraCommand("SETDETECTIONPARAMS") &&
                SendFramed(m_cameraLink, block, kDetectionParamsBytes);
    m_cameraLink.CloseConnection();
    return sent;
}

void CMainWnd::ShowCameraPropertiesDialog()
{
    // Not built yet: does nothing (the camera properties dialog does not open).
}

void CMainWnd::ShowCameraConfigDialog()
{
    // Not built yet: does nothing (the camera configuration dialog does not open).
}
