#pragma once
// The one road to the stored proxy settings, shared by the proxy buttons of both
// windows.
class IUnknown;

// Loads object (a ProxySettings object of the request component, called by member
// name) from the settings section "Proxy HT", shows its dialog, and stores the result
// there only when the user confirms. Every step runs even when the one before failed;
// nothing is reported.
void ConfigureProxy(IUnknown* object);
// ConfigureProxy with a new ProxySettings object, dropped afterwards.
void ConfigureNewProxySettings();
