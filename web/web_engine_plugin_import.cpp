// Compiled into every program that links the static web engine plugin, so
// that the plugin registers itself without each one naming it.
#include <QtPlugin>

Q_IMPORT_PLUGIN(TWebEnginePlugin)
