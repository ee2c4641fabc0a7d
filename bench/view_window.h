// The console's 3D view in a window of the size its panels leave it, for the
// benchmarks that draw it. Needs an X display.
#pragma once

#include <GL/freeglut.h>

#include "console/scene.h"
#include "loader3ds/vertex_normals.h"
#include "tools/arm_mesh.h"

namespace benchview {

// The view area the console's panels leave in its 1024 x 720 window.
constexpr int kViewWidth = 795;
constexpr int kViewHeight = 596;

// The mesh of the mesh tool, with the normals the loader gives it.
inline Model ArmMesh() {
    Model model = BuildArmModel();
    for (MeshObject& object : model.objects) {
        object.normals = SmoothNormals(object.vertices, object.faces);
    }
    return model;
}

// Opens the window (glutInit done) with the console's lights, depth test and
// link lists, and lets it settle on screen.
inline void OpenViewWindow(const char* title) {
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(kViewWidth, kViewHeight);
    glutCreateWindow(title);
    glutDisplayFunc(DisplayView);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_NORMALIZE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DEPTH_TEST);
    BuildLinkLists();
    glViewport(0, 0, kViewWidth, kViewHeight);
    viewAspect = static_cast<float>(kViewWidth) / kViewHeight;
    for (int round = 0; round < 50; ++round) {
        glutMainLoopEvent();
    }
}

}  // namespace benchview
