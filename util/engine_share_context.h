#pragma once

// The web engine draws through OpenGL contexts that share with one global
// context. Qt makes that context when the application object is built with
// Qt::AA_ShareOpenGLContexts set; the program does not set it, because making
// the context loads the whole OpenGL stack (tens of megabytes, tens of
// milliseconds) at every start, while the engine is loaded only for the first
// page or document. Called just before the engine's libraries are loaded, this
// makes the context as Qt would have and sets the attribute, so the engine
// finds what it expects. Does nothing when the context already exists (an
// executable linked to the engine has it made with its application object) or
// when there is no GUI application.
void ProvideEngineShareContext();
