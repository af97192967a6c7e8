// The 19 scenes of the timeline, in time order. The frame loop calls the
// one whose range holds the demo time, after the frame head has cleared
// the frame, set the aspect viewport, turned lighting and texturing off
// and set the colour to white. A scene reads DemoTime and SyncValue
// (frame_loop.h), the resources (resources.h) and the procedural tables
// (procedural.h), sets the OpenGL state it needs and restores nothing.
#pragma once

void Scene1();   // logo and tile grid
void Scene2();   // glowing coin
void Scene3();   // background interlude
void Scene4();   // zooming text pages
void Scene5();   // the deck mesh
void Scene6();   // growing path lines with sprites
void Scene7();   // the box wall
void Scene8();   // logo swarm
void Scene9();   // logo swarm
void Scene10();  // tile torus and cube morph
void Scene11();  // monster reveal and light rays
void Scene12();  // voxel cube cloud
void Scene13();  // logo swarm
void Scene14();  // logo swarm
void Scene15();  // flare particles and cube field
void Scene16();  // ring tunnel and falling sprites
void Scene17();  // closing screen
void Scene18();  // credits
void Scene19();  // end part
