// The calls that start-up, the frame loop and shutdown make into the other
// subsystems, in one list. Each subsystem implements its entries; the ones of
// subsystems this program does not use yet are empty placeholders in that
// subsystem's folder.
#pragma once

#include <cstdint>

#include "gfx2d/renderer.h"

// 2D renderer.
void ClearScreen(int32_t colour);              // drops background 0, then SetClearColour
bool BackgroundPresent(int32_t n);             // BackgroundPicture n holds tiles
void DrawBackground(int32_t n);
void BuildDefaultFont(int32_t index);
bool LoadFont(const char* file, int32_t index);
void SetFont(int32_t index);
void BindSpriteTexture(int32_t id, int32_t id2);
void InitFramebufferExtension();
void EndScreen();                              // finishes an active off-screen target
bool ActiveTargetSize(int32_t* width, int32_t* height);  // picture size of the active target
void ReleaseAllTextures();                     // sprites and backgrounds
void DestroyAllTargets();

// 3D engine.
void CreateEngine3D(Renderer& renderer);
void DestroyEngine3D();
void Leave3D();                                // ends 3D drawing and a pending shadow pass
void SetMeshTextureMode(int32_t flag);
void SelectNoShaderProgram();

// Input.
void CreateInputDevices();
int32_t InitInput(platform::Window* window, bool hideMouse);
void DestroyInputDevices();
void SetInputWindow(platform::Window* window);
void ResetKeyQueryCounter();
void RefreshKeyboard();
bool KeyStateDown(int32_t code);               // bit 7 of the refreshed key state
void ConsumeMouseMotionForFrame();             // the consuming read of every mouse
void TypeText(const char* utf8);               // typed text from the event pump
void TypeKey(int32_t code);                    // characters of keys that type no text
void ShowMousePointer(double show);
bool PointerShown();                           // the input object's pointer-shown flag
void ReleaseInputForDebugger();                // before a debugger stop
void ResetInputAfterDebugger();                // after it

// Files and system: writes back the line and INI stores, releases the
// resolvers' last results and closes the file channels.
void FlushFileStores();

// Sound, network, declared functions.
void CreateSoundSystem(platform::Window* window);
void SetSoundWindow(platform::Window* window);
void DestroySoundSystem();
void MediaLoopMaintenance();
void StopMovie();
void CreateSessionObject();
void EndSessionAndNetwork();
void LoadDeclaredFunctions();
void FreeDeclaredFunctions();
