/* A library named like the engine that lacks its entry point SciterAPI, for
   the binding's check of the export. */
int tidewellEngineWithoutEntry = 1;
