// A libLumaport.so without its factory, for the binding's failure path.
extern "C" __attribute__((visibility("default"))) int lumaport_fake_marker() { return 1; }
