// Thread procedures of the camera link: the command server and the camera engine. Each takes the
// engine (CMainWnd*) as its parameter, looks at its stop byte between steps and clears its slot
// when it returns (the worker-thread object does that).
#pragma once

unsigned CameraServerThread(void* engine);
unsigned CameraEngineThread(void* engine);
// The viewer's update loop: runs CMainWnd::UpdateLoop.
unsigned UpdateLoopThread(void* engine);
